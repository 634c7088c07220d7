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

// One line of the scenario: at <ms> <verb> <id> [key=value...]
struct Event {
  uint64_t at = 0;
  std::string verb;  // add, set, ask, end, exit
  uint32_t id = 0;
  std::vector<std::pair<std::string, std::string>> values;
};

// Scenario text: one event a line, '#' starts a comment; values may be quoted ("C:\My files").
// false with a message naming the line when a line cannot be read.
bool ParseScenario(const std::string& text, std::vector<Event>& events, std::string& error);

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
};

// Records as the service writes them (exposed for the stand-in's own tests).
std::vector<uint8_t> ListRecord(const ScriptedJob& job);
std::vector<uint8_t> DetailRecord(const ScriptedJob& job);

}  // namespace ferry
