// Pieces of the host stand-in shared between its source files.
#pragma once

#include "host/kel_plugin.h"

namespace kelhost {

HostDialogFn DialogService();
HostSendDlgMessageFn SendDlgMessageService();
HostDefDlgProcFn DefDlgProcService();

}  // namespace kelhost
