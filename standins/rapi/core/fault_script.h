// The emulated device's script: how the connection starts, which calls fail and how, and whether
// calls are recorded. Tests write it as a text file (see standins/rapi/README.md); FaultPlan
// plays it: it counts the calls, draws the random faults from their seeds and tracks how many
// connection attempts a lost connection still refuses.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace rapiemu {

inline constexpr std::u16string_view kScriptFile = u"script";
inline constexpr std::u16string_view kCallLogFile = u"calls.log";

// The result stored in the start record when a start fails and no other code was given (E_FAIL).
inline constexpr int32_t kConnectFailed = static_cast<int32_t>(0x80004005u);

struct ConnectSettings {
  enum class Mode { Delay, Never, Fail };
  Mode mode = Mode::Delay;
  uint32_t delayMs = 0;             // before the event is signalled (also for Fail)
  int32_t failResult = kConnectFailed;
};

struct FaultRule {
  std::string call;  // an entry name, or "*" for every call that reaches the device
  enum class When { Nth, NthAndLater, Always, Random };
  When when = When::Nth;
  uint32_t count = 1;        // Nth, NthAndLater: 1-based call number among the matching calls
  uint32_t partsPerMillion = 0;  // Random: chance per call
  uint32_t seed = 0;             // Random
  bool lost = false;             // true: the connection is lost; false: device error `error`
  uint32_t error = 0;
};

struct FaultScript {
  ConnectSettings connect;
  uint32_t reconnectAfter = 0;  // attempts refused after a lost connection before one succeeds
  bool record = false;          // append every call to the call log
  std::vector<FaultRule> rules;
  std::vector<std::string> errors;  // "line N: why" for each line that was not understood

  // Every line is one of:
  //   connect delay <ms> | connect never | connect fail [<result>]
  //   fail <Call|*> <N | N+ | always | random <P>% seed <S>> <lost | error <code>>
  //   reconnect after <N>
  //   record
  // '#' starts a comment; numbers are decimal or 0x hexadecimal.
  static FaultScript Parse(std::string_view text);
};

struct FaultOutcome {
  enum class Kind { None, Lost, DeviceError };
  Kind kind = Kind::None;
  uint32_t error = 0;
};

struct ConnectDecision {
  bool never = false;       // the event is never signalled
  uint32_t delayMs = 0;
  int32_t result = 0;       // stored in the start record (negative: the start failed)
};

class FaultPlan {
 public:
  FaultPlan() = default;
  explicit FaultPlan(FaultScript script);

  // Counts one call of `call` against every rule naming it (or "*"); the first rule that fires
  // decides. A lost outcome also starts the refused-reconnection count.
  FaultOutcome OnCall(std::string_view call);
  // One connection start: refused while a lost connection still owes refusals, else as scripted.
  ConnectDecision OnConnectAttempt();

  const FaultScript& script() const { return script_; }

 private:
  struct RuleState {
    uint32_t calls = 0;
    std::mt19937 random;
  };
  FaultScript script_;
  std::vector<RuleState> state_;
  uint32_t refusalsLeft_ = 0;
};

}  // namespace rapiemu
