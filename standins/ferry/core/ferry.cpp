#include "standins/ferry/core/ferry.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace ferry {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  Put32(b, at, static_cast<uint32_t>(v));
  Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
// Writes a text into its field, always leaving room for the terminator.
void PutText(std::vector<uint8_t>& b, size_t at, size_t fieldBytes, const std::u16string& t) {
  size_t units = std::min(t.size(), fieldBytes / 2 - 1);
  for (size_t i = 0; i < units; ++i) {
    b[at + 2 * i] = static_cast<uint8_t>(t[i]);
    b[at + 2 * i + 1] = static_cast<uint8_t>(t[i] >> 8);
  }
}

// UTF-8 scenario text to UTF-16 (the BMP is enough for paths in scenarios).
std::u16string Utf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      i += 1;
    } else if ((c >> 5) == 6 && i + 1 < s.size()) {
      out.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F)));
      i += 2;
    } else if ((c >> 4) == 14 && i + 2 < s.size()) {
      out.push_back(static_cast<char16_t>(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F)));
      i += 3;
    } else {
      out.push_back(u'?');
      i += 1;
    }
  }
  return out;
}

uint32_t KindOf(const std::string& name) {
  static const char* const kKinds[] = {"copy", "move", "wipe", "delete", "attributes"};
  for (uint32_t i = 0; i < 5; ++i)
    if (name == kKinds[i]) return i + 1;
  return static_cast<uint32_t>(std::strtoul(name.c_str(), nullptr, 0));
}

}  // namespace

uint32_t ScriptedJob::Percent() const {
  if (total == 0) return 0;
  double p = done * 100.0 / static_cast<double>(total);
  return p >= 100 ? 100 : static_cast<uint32_t>(p);
}

bool ParseScenario(const std::string& text, std::vector<Event>& events, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    // Split into words; a double-quoted value keeps its spaces.
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
      if (c == '"') {
        quoted = !quoted;
        any = true;
      } else if ((c == ' ' || c == '\t') && !quoted) {
        if (any) words.push_back(word);
        word.clear();
        any = false;
      } else {
        word.push_back(c);
        any = true;
      }
    }
    if (any) words.push_back(word);
    if (words.empty()) continue;
    Event e;
    if (words.size() < 3 || words[0] != "at") {
      error = "line " + std::to_string(number) + ": expected 'at <ms> <verb> ...'";
      return false;
    }
    e.at = std::strtoull(words[1].c_str(), nullptr, 10);
    e.verb = words[2];
    static const char* const kVerbs[] = {"add", "set", "ask", "end", "exit", "fault"};
    if (std::none_of(std::begin(kVerbs), std::end(kVerbs), [&](const char* v) { return e.verb == v; })) {
      error = "line " + std::to_string(number) + ": unknown verb '" + e.verb + "'";
      return false;
    }
    size_t first = 3;
    if (e.verb == "fault") {
      static const char* const kKinds[] = {"none", "busy", "short", "huge", "silent"};
      if (words.size() < 4 || std::none_of(std::begin(kKinds), std::end(kKinds),
                                           [&](const char* k) { return words[3] == k; })) {
        error = "line " + std::to_string(number) + ": a fault is none, busy, short, huge or silent";
        return false;
      }
      e.kind = words[3];
      first = 4;
    } else if (e.verb != "exit") {
      if (words.size() < 4) {
        error = "line " + std::to_string(number) + ": a job identifier is missing";
        return false;
      }
      e.id = static_cast<uint32_t>(std::strtoul(words[3].c_str(), nullptr, 10));
      first = 4;
    }
    for (size_t i = first; i < words.size(); ++i) {
      size_t eq = words[i].find('=');
      if (eq == std::string::npos) {
        error = "line " + std::to_string(number) + ": expected key=value, got '" + words[i] + "'";
        return false;
      }
      e.values.emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
    }
    events.push_back(e);
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
  return true;
}

size_t RequestLength(const uint8_t* p) {
  uint32_t type = static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
  uint32_t sub = static_cast<uint32_t>(p[4] | p[5] << 8 | p[6] << 16 | static_cast<uint32_t>(p[7]) << 24);
  if (type == 2) return sub == 1 ? 8 : (sub == 2 || sub == 4 || sub == 8) ? 12 : 0;
  if (type == 4) return 20;
  return 0;
}

Service::Service(std::vector<Event> events, std::function<LocalTime()> clock)
    : events_(std::move(events)), clock_(std::move(clock)) {}

uint64_t Service::ExitTime() const {
  for (const Event& e : events_)
    if (e.verb == "exit") return e.at;
  return UINT64_MAX;
}

ScriptedJob* Service::Find(uint32_t id) {
  for (ScriptedJob& j : jobs_)
    if (j.id == id) return &j;
  return nullptr;
}

void Service::Remove(uint32_t id) {
  std::erase_if(jobs_, [id](const ScriptedJob& j) { return j.id == id; });
}

void Service::Progress(uint64_t toMs) {
  if (toMs <= now_) return;
  double seconds = static_cast<double>(toMs - now_) / 1000.0;
  now_ = toMs;
  for (ScriptedJob& j : jobs_) {
    if (j.rate <= 0 || j.paused || j.waiting || j.question) continue;
    j.done = std::min(static_cast<double>(j.total), j.done + j.rate * seconds);
  }
  std::erase_if(jobs_, [](const ScriptedJob& j) { return j.rate > 0 && j.done >= static_cast<double>(j.total); });
}

void Service::Apply(const Event& e) {
  if (e.verb == "fault") {
    static const std::pair<const char*, FaultKind> kKinds[] = {{"none", FaultKind::kNone},
                                                               {"busy", FaultKind::kBusy},
                                                               {"short", FaultKind::kShort},
                                                               {"huge", FaultKind::kHuge},
                                                               {"silent", FaultKind::kSilent}};
    fault_ = Fault{};
    for (const auto& [name, kind] : kKinds)
      if (e.kind == name) fault_.kind = kind;
    for (const auto& [key, value] : e.values) {
      uint32_t n = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
      if (key == "times") fault_.times = n;
      else if (key == "count") fault_.count = n;
    }
    return;
  }
  if (e.verb == "exit") return;
  if (e.verb == "add") {
    if (Find(e.id)) return;
    ScriptedJob j;
    j.id = e.id;
    j.start = clock_();
    jobs_.push_back(j);
  } else if (e.verb == "end") {
    Remove(e.id);
    return;
  }
  ScriptedJob* j = Find(e.id);
  if (!j) return;
  for (const auto& [key, value] : e.values) {
    uint64_t n = std::strtoull(value.c_str(), nullptr, 0);
    if (key == "kind") j->kind = KindOf(value);
    else if (key == "src") j->source = j->fullSource = Utf16(value);
    else if (key == "dst") j->destination = j->fullDestination = Utf16(value);
    else if (key == "total") j->total = n;
    else if (key == "done") j->done = static_cast<double>(n);
    else if (key == "percent") j->done = static_cast<double>(j->total) * static_cast<double>(n) / 100.0;
    else if (key == "rate") j->rate = std::strtod(value.c_str(), nullptr);
    else if (key == "paused") j->paused = static_cast<uint32_t>(n);
    else if (key == "waiting") j->waiting = static_cast<uint32_t>(n);
    else if (key == "question") j->question = static_cast<uint32_t>(n);
    else if (key == "error") j->errorCode = static_cast<uint32_t>(n);
    else if (key == "token") j->token = std::strtoull(value.c_str(), nullptr, 16);
  }
  if (e.verb == "ask" && j->question == 0) j->question = 1;
}

void Service::Advance(uint64_t nowMs) {
  while (next_ < events_.size() && events_[next_].at <= nowMs) {
    Progress(events_[next_].at);
    Apply(events_[next_]);
    ++next_;
  }
  Progress(nowMs);
}

bool Service::ShapeReply(std::vector<uint8_t>& reply, std::string& log, bool& cut) {
  cut = false;
  FaultKind kind = fault_.kind;
  if (reply.empty() || kind == FaultKind::kNone || kind == FaultKind::kBusy) return true;
  bool list = log.rfind("ListJobs", 0) == 0;
  if (kind == FaultKind::kHuge && !list) return true;  // only a list names a count
  const Fault applied = fault_;
  if (fault_.times != 0 && --fault_.times == 0) fault_ = Fault{};
  char note[80];
  switch (kind) {
    case FaultKind::kShort:
      std::snprintf(note, sizeof note, " (short reply: %zu of %zu bytes)", reply.size() / 2, reply.size());
      reply.resize(reply.size() / 2);
      cut = true;
      break;
    case FaultKind::kHuge: {
      Put32(reply, 0, applied.count);
      std::snprintf(note, sizeof note, " (count %u)", applied.count);
      break;
    }
    default:
      std::snprintf(note, sizeof note, " (no answer)");
      log += note;
      return false;
  }
  log += note;
  return true;
}

std::vector<uint8_t> ListRecord(const ScriptedJob& j) {
  std::vector<uint8_t> b(2112);
  Put32(b, 0, j.id);
  Put32(b, 4, j.kind);
  PutText(b, 8, 1560, j.source);
  PutText(b, 1568, 520, j.destination);
  Put32(b, 2088, j.Percent());
  Put32(b, 2092, j.paused);
  Put32(b, 2100, j.question);
  Put32(b, 2104, j.waiting);
  return b;
}

std::vector<uint8_t> DetailRecord(const ScriptedJob& j) {
  std::vector<uint8_t> b = ListRecord(j);
  b.resize(4288);
  PutText(b, 2112, 1040, j.fullSource);
  PutText(b, 3152, 1040, j.fullDestination);
  Put64(b, 4200, j.token);
  Put32(b, 4208, j.errorCode);
  for (size_t i = 0; i < 8; ++i) {
    b[4216 + 2 * i] = static_cast<uint8_t>(j.start[i]);
    b[4217 + 2 * i] = static_cast<uint8_t>(j.start[i] >> 8);
  }
  Put64(b, 4232, j.total);
  // The amount done is reported in two parts that add up.
  uint64_t done = static_cast<uint64_t>(j.done);
  Put64(b, 4240, done / 2);
  Put64(b, 4248, done - done / 2);
  return b;
}

std::vector<uint8_t> Service::Handle(const std::vector<uint8_t>& r, std::string& log) {
  char line[160];
  std::vector<uint8_t> reply;
  if (r.size() < 8 || RequestLength(r.data()) != r.size()) {
    std::string hex;
    for (uint8_t byte : r) {
      std::snprintf(line, sizeof line, "%02x", byte);
      hex += line;
    }
    log = "Unknown " + hex;
    return reply;
  }
  uint32_t type = Get32(r, 0), sub = Get32(r, 4);
  uint32_t id = r.size() >= 12 ? Get32(r, 8) : 0;
  if (type == 2 && sub == 1) {
    reply.assign(8, 0);
    Put32(reply, 0, static_cast<uint32_t>(jobs_.size()));
    for (const ScriptedJob& j : jobs_) {
      std::vector<uint8_t> rec = ListRecord(j);
      reply.insert(reply.end(), rec.begin(), rec.end());
    }
    std::snprintf(line, sizeof line, "ListJobs -> %zu", jobs_.size());
  } else if (type == 2 && sub == 2) {
    reply.assign(4, 0);
    ScriptedJob none;
    none.kind = 0;
    ScriptedJob* j = Find(id);
    std::vector<uint8_t> rec = DetailRecord(j ? *j : none);
    reply.insert(reply.end(), rec.begin(), rec.end());
    std::snprintf(line, sizeof line, "GetJobDetails %u%s", id, j ? "" : " (no such job)");
  } else if (type == 2 && sub == 8) {
    ScriptedJob* j = Find(id);
    if (j) j->paused = !j->paused;
    std::snprintf(line, sizeof line, "TogglePause %u%s", id, !j ? " (no such job)" : j->paused ? " -> paused" : " -> running");
  } else if (type == 2 && sub == 4) {
    bool known = Find(id) != nullptr;
    Remove(id);
    std::snprintf(line, sizeof line, "AbortJob %u%s", id, known ? "" : " (no such job)");
  } else {
    uint64_t token = 0;
    for (size_t i = 0; i < 8; ++i) token |= static_cast<uint64_t>(r[12 + i]) << (8 * i);
    ScriptedJob* j = Find(id);
    const char* outcome = " (no such job)";
    if (j && j->question == 0) outcome = " (no question pending)";
    else if (j && j->token != token) outcome = " (token mismatch)";
    else if (j) {
      j->question = 0;
      j->errorCode = 0;
      outcome = "";
      if ((sub & 0xFFFF) == 0) {
        Remove(id);
        outcome = " -> aborted";
      }
    }
    std::snprintf(line, sizeof line, "Answer %u code=0x%08x token=%016llx%s", id, sub,
                  static_cast<unsigned long long>(token), outcome);
  }
  log = line;
  return reply;
}

}  // namespace ferry
