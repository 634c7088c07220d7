#include "standins/rapi/core/fault_script.h"

#include <charconv>

namespace rapiemu {
namespace {

constexpr size_t kMaxRules = 1000;
constexpr uint32_t kMaxDelayMs = 3600 * 1000;

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r')) ++pos;
    size_t end = pos;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
    if (end > pos) words.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

bool ParseNumber(std::string_view s, uint32_t& out) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
  return ec == std::errc() && end == s.data() + s.size();
}

// "5%", "0.5%", "100%" -> parts per million.
bool ParsePercent(std::string_view s, uint32_t& ppm) {
  if (s.empty() || s.back() != '%') return false;
  s.remove_suffix(1);
  size_t dot = s.find('.');
  uint32_t whole = 0, frac = 0;
  std::string_view wholeText = s.substr(0, dot);
  if (!wholeText.empty() && !ParseNumber(wholeText, whole)) return false;
  if (wholeText.starts_with("0x") || wholeText.starts_with("0X")) return false;
  uint32_t scale = 10000;  // ppm per percent
  if (dot != std::string_view::npos) {
    std::string_view fracText = s.substr(dot + 1);
    if (fracText.empty() || fracText.size() > 4) return false;
    for (char c : fracText) {
      if (c < '0' || c > '9') return false;
      scale /= 10;
      frac += static_cast<uint32_t>(c - '0') * scale;
    }
  } else if (wholeText.empty()) {
    return false;
  }
  if (whole > 100 || (whole == 100 && frac > 0)) return false;
  ppm = whole * 10000 + frac;
  return true;
}

// Parses the words after "fail"; returns the error text or "" on success.
std::string ParseFailRule(const std::vector<std::string_view>& w, FaultRule& rule) {
  if (w.size() < 4) return "expected: fail <call> <when> <outcome>";
  rule.call = std::string(w[1]);
  size_t next = 3;
  std::string_view when = w[2];
  if (when == "always") {
    rule.when = FaultRule::When::Always;
  } else if (when == "random") {
    if (w.size() < 7 || w[4] != "seed") return "expected: random <P>% seed <S>";
    if (!ParsePercent(w[3], rule.partsPerMillion)) return "bad percentage";
    if (!ParseNumber(w[5], rule.seed)) return "bad seed";
    rule.when = FaultRule::When::Random;
    next = 6;
  } else {
    std::string_view n = when;
    rule.when = FaultRule::When::Nth;
    if (n.ends_with('+')) {
      n.remove_suffix(1);
      rule.when = FaultRule::When::NthAndLater;
    }
    if (!ParseNumber(n, rule.count) || rule.count == 0) return "bad call number";
  }
  if (next >= w.size()) return "missing outcome";
  if (w[next] == "lost" && next + 1 == w.size()) {
    rule.lost = true;
  } else if (w[next] == "error" && next + 2 == w.size()) {
    if (!ParseNumber(w[next + 1], rule.error) || rule.error == 0) return "bad error code";
  } else {
    return "outcome must be: lost | error <code>";
  }
  return "";
}

}  // namespace

FaultScript FaultScript::Parse(std::string_view text) {
  FaultScript s;
  size_t pos = 0;
  uint32_t lineNo = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    std::vector<std::string_view> w = Words(line);
    if (w.empty()) continue;
    std::string why;
    if (w[0] == "connect") {
      uint32_t v = 0;
      if (w.size() == 3 && w[1] == "delay" && ParseNumber(w[2], v) && v <= kMaxDelayMs) {
        s.connect.mode = ConnectSettings::Mode::Delay;
        s.connect.delayMs = v;
      } else if (w.size() == 2 && w[1] == "never") {
        s.connect.mode = ConnectSettings::Mode::Never;
      } else if (w.size() >= 2 && w[1] == "fail" && w.size() <= 3) {
        int32_t result = kConnectFailed;
        if (w.size() == 3) {
          if (!ParseNumber(w[2], v) || static_cast<int32_t>(v) >= 0) {
            why = "a failed start's result must be negative";
          } else {
            result = static_cast<int32_t>(v);
          }
        }
        if (why.empty()) {
          s.connect.mode = ConnectSettings::Mode::Fail;
          s.connect.failResult = result;
        }
      } else {
        why = "expected: connect delay <ms> | connect never | connect fail [<result>]";
      }
    } else if (w[0] == "fail") {
      FaultRule rule;
      why = ParseFailRule(w, rule);
      if (why.empty() && s.rules.size() >= kMaxRules) why = "too many rules";
      if (why.empty()) s.rules.push_back(rule);
    } else if (w[0] == "reconnect") {
      if (w.size() != 3 || w[1] != "after" || !ParseNumber(w[2], s.reconnectAfter)) {
        why = "expected: reconnect after <N>";
      }
    } else if (w[0] == "record" && w.size() == 1) {
      s.record = true;
    } else {
      why = "unknown line";
    }
    if (!why.empty()) s.errors.push_back("line " + std::to_string(lineNo) + ": " + why);
    if (end == text.size()) break;
  }
  return s;
}

FaultPlan::FaultPlan(FaultScript script) : script_(std::move(script)) {
  state_.resize(script_.rules.size());
  for (size_t i = 0; i < state_.size(); ++i) state_[i].random.seed(script_.rules[i].seed);
}

FaultOutcome FaultPlan::OnCall(std::string_view call) {
  FaultOutcome outcome;
  for (size_t i = 0; i < script_.rules.size(); ++i) {
    const FaultRule& rule = script_.rules[i];
    if (rule.call != "*" && rule.call != call) continue;
    RuleState& st = state_[i];
    if (st.calls < UINT32_MAX) ++st.calls;
    bool fires = false;
    switch (rule.when) {
      case FaultRule::When::Nth: fires = st.calls == rule.count; break;
      case FaultRule::When::NthAndLater: fires = st.calls >= rule.count; break;
      case FaultRule::When::Always: fires = true; break;
      case FaultRule::When::Random: fires = st.random() % 1000000u < rule.partsPerMillion; break;
    }
    // Every matching rule counts the call (and draws), so one rule's firing never shifts another's.
    if (fires && outcome.kind == FaultOutcome::Kind::None) {
      outcome.kind = rule.lost ? FaultOutcome::Kind::Lost : FaultOutcome::Kind::DeviceError;
      outcome.error = rule.error;
    }
  }
  if (outcome.kind == FaultOutcome::Kind::Lost) refusalsLeft_ = script_.reconnectAfter;
  return outcome;
}

ConnectDecision FaultPlan::OnConnectAttempt() {
  ConnectDecision d;
  d.delayMs = script_.connect.delayMs;
  if (refusalsLeft_ > 0) {
    --refusalsLeft_;
    d.result = kConnectFailed;
    return d;
  }
  switch (script_.connect.mode) {
    case ConnectSettings::Mode::Delay: break;
    case ConnectSettings::Mode::Never: d.never = true; break;
    case ConnectSettings::Mode::Fail: d.result = script_.connect.failResult; break;
  }
  return d;
}

}  // namespace rapiemu
