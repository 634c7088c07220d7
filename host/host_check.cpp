// Compiles the host interface once on its own, so its static_asserts guard every build.
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"
