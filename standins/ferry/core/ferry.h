// Ferry, a stand-in for the background copy service: it plays a scenario of jobs (appearing,
// progressing, pausing, asking questions, ending), answers the pipe messages about them, obeys
// pause, abort and answers, and keeps a log line for every request.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ferry {

using LocalTime = std::array<uint16_t, 8>;  // SYSTEMTIME fields, year first

struct ScriptedJob {
  uint32_t id = 0;
  uint32_t kind = 1;
  std::u16string source, destination, fullSource, fullDestination;
  uint64_t total = 100;
  double done = 0;
  double rate = 0;  // units per second while running; a job with a rate ends when done
  uint32_t paused = 0, waiting = 0, question = 0, errorCode = 0;
  uint64_t token = 0;
  LocalTime start{};
  uint32_t Percent() const;
};

// One line of the scenario: at <ms> <verb> <id> [key=value...], or at <ms> fault <kind> [key=value...]
struct Event {
  uint64_t at = 0;
  std::string verb;  // add, set, ask, end, exit, fault
  uint32_t id = 0;
  std::string kind;  // of a fault
  std::vector<std::pair<std::string, std::string>> values;
};

// Scenario text: one event a line, '#' starts a comment; values may be quoted ("C:\My files").
// false with a message naming the line when a line cannot be read.
bool ParseScenario(const std::string& text, std::vector<Event>& events, std::string& error);

// Scripted failures of the service, from a "fault" line until "fault none" or for times=N
// exchanges:
//  busy    every pipe instance is taken: a client's open fails as on a busy pipe;
//  short   a reply is cut to half its length and the connection closed;
//  huge    a list reply names count=N records (default 4294967295) but carries only the real ones;
//  silent  a request is read and never answered; the connection stays open until the client
//          closes it.
enum class FaultKind { kNone, kBusy, kShort, kHuge, kSilent };
struct Fault {
  FaultKind kind = FaultKind::kNone;
  uint32_t times = 0;  // exchanges left; 0: until the next fault line
  uint32_t count = 0xFFFFFFFFu;  // the count a huge list reply names
};

// The number of bytes a request has, from its first 8 bytes; 0 for an unknown request.
size_t RequestLength(const uint8_t* first8);

class Service {
 public:
  Service(std::vector<Event> events, std::function<LocalTime()> clock);

  // Plays the scenario up to nowMs (time since the service started).
  void Advance(uint64_t nowMs);
  // Handles one complete request; returns the reply bytes (empty for none) and sets logLine.
  std::vector<uint8_t> Handle(const std::vector<uint8_t>& request, std::string& logLine);
  // The time at which the scenario says the service stops; UINT64_MAX for never.
  uint64_t ExitTime() const;
  // Whether the scenario has the service play busy now.
  bool Busy() const { return fault_.kind == FaultKind::kBusy; }
  // Applies the fault in force to a reply that Handle gave (an empty reply is left alone) and
  // adds it to the log line. Returns false when the reply must not be sent at all (silent);
  // cut is set when the connection must be closed after the (shortened) reply.
  bool ShapeReply(std::vector<uint8_t>& reply, std::string& logLine, bool& cut);

  const std::vector<ScriptedJob>& Jobs() const { return jobs_; }

 private:
  void Progress(uint64_t toMs);
  void Apply(const Event& e);
  ScriptedJob* Find(uint32_t id);
  void Remove(uint32_t id);

  std::vector<Event> events_;
  size_t next_ = 0;
  uint64_t now_ = 0;
  std::function<LocalTime()> clock_;
  std::vector<ScriptedJob> jobs_;
  Fault fault_;
};

// Records as the service writes them (exposed for the stand-in's own tests).
std::vector<uint8_t> ListRecord(const ScriptedJob& job);
std::vector<uint8_t> DetailRecord(const ScriptedJob& job);

}  // namespace ferry
