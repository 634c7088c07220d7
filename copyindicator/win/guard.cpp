#include "copyindicator/win/guard.h"

#include <stdexcept>
#include <string>

namespace veloma {

void ReportException(const wchar_t* where) {
  std::wstring line = L"Veloma: unhandled exception in ";
  line += where;
  line += L"\n";
  OutputDebugStringW(line.c_str());
}

#ifdef VELOMA_TEST_BUILD
void FaultPoint(const char* where) {
  static bool fired = false;
  char wanted[64] = {};
  if (fired || !GetEnvironmentVariableA("VELOMA_FAULT", wanted, sizeof wanted) || std::string(wanted) != where)
    return;
  fired = true;
  throw std::runtime_error(std::string("test fault in ") + where);
}
#endif

}  // namespace veloma
