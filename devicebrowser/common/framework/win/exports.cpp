// The exports of a module library (listed by module.def): each takes the module object as its
// first argument and calls the operation of the same name. No exception leaves an export: each
// library has its own unwinder, so one that crossed into the plugin would end the host.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/framework/framework.h"

using handrel::MModuleBase;

namespace {

MModuleBase* Module(ModuleInstance instance) { return reinterpret_cast<MModuleBase*>(instance); }

// Runs body; an exception is reported as "Unhandled exception in <entry>" and answered with
// failure.
template <typename R, typename F>
R Guarded(const char* entry, R failure, F body) {
  std::string text = std::string("Unhandled exception in ") + entry;
  try {
    return body();
  } catch (const std::exception& e) {
    text += std::string("\r\n") + e.what();
  } catch (...) {
  }
  try {
    handrel::ShowMessage("Exception", text.c_str(), nullptr, FMSG_WARNING);
  } catch (...) {
  }
  return failure;
}

}  // namespace

extern "C" {

ModuleInstance MODULE_API InitModule(ModuleOwner owner, const ModuleStartupRecord* record, intptr_t) {
  return Guarded<ModuleInstance>("InitModule", 0, [&]() -> ModuleInstance {
    MModuleBase* module = CreateModuleObject();
    if (!module) return 0;
    if (!module->Construct(owner, record)) {
      delete module;
      return 0;
    }
    return reinterpret_cast<ModuleInstance>(module);
  });
}

void MODULE_API GetModuleInfo(ModuleInfo* info) {
  Guarded<int>("GetModuleInfo", 0, [&] {
    if (!info) return 0;
    // The names are the library's; a short-lived object answers them.
    MModuleBase* module = CreateModuleObject();
    if (!module) return 0;
    std::snprintf(info->ShortName, sizeof info->ShortName, "%s", module->getShortName());
    std::snprintf(info->Title, sizeof info->Title, "%s", module->getTitle());
    delete module;
    return 1;
  });
}

void MODULE_API CloseModule(ModuleInstance instance) {
  Guarded<int>("CloseModule", 0, [&] {
    delete Module(instance);
    return 1;
  });
}

int MODULE_API Activate(ModuleInstance i) {
  return Guarded("Activate", 0, [&] { return Module(i)->Activate(); });
}

void MODULE_API DeActivate(ModuleInstance i) {
  Guarded<int>("DeActivate", 0, [&] {
    Module(i)->DeActivate();
    return 1;
  });
}

void MODULE_API GetOpenModuleInfo(ModuleInstance i, void* record) {
  Guarded<int>("GetOpenModuleInfo", 0, [&] {
    Module(i)->GetOpenModuleInfo(record);
    return 1;
  });
}

int MODULE_API GetFindData(ModuleInstance i, void** items, int* count, int opMode) {
  return Guarded("GetFindData", 0, [&] {
    return Module(i)->GetFindData(reinterpret_cast<PluginPanelItemA**>(items), count, opMode);
  });
}

void MODULE_API FreeFindData(ModuleInstance i, void* items, int count) {
  Guarded<int>("FreeFindData", 0, [&] {
    Module(i)->FreeFindData(static_cast<PluginPanelItemA*>(items), count);
    return 1;
  });
}

int MODULE_API GetFiles(ModuleInstance i, void* items, int count, int move, char* destPath, int opMode) {
  return Guarded("GetFiles", 0, [&] {
    return Module(i)->GetFiles(static_cast<PluginPanelItemA*>(items), count, move, destPath, opMode);
  });
}

int MODULE_API SetDirectory(ModuleInstance i, const wchar_t* dir, int opMode) {
  return Guarded("SetDirectory", 0, [&] { return Module(i)->SetDirectory(dir, opMode); });
}

const wchar_t* MODULE_API GetDirectory(ModuleInstance i) {
  return Guarded<const wchar_t*>("GetDirectory", nullptr, [&] { return Module(i)->GetDirectory(); });
}

int MODULE_API ExistsDirectory(ModuleInstance i, const wchar_t* dir, int opMode) {
  return Guarded("ExistsDirectory", 0, [&] { return Module(i)->ExistsDirectory(dir, opMode); });
}

int MODULE_API MakeDirectory(ModuleInstance i, char* name, int opMode) {
  return Guarded("MakeDirectory", 0, [&] { return Module(i)->MakeDirectory(name, opMode); });
}

int MODULE_API PutFiles(ModuleInstance i, void* items, int count, int move, int opMode) {
  return Guarded("PutFiles", 0,
                 [&] { return Module(i)->PutFiles(static_cast<PluginPanelItemA*>(items), count, move, opMode); });
}

int MODULE_API DeleteFiles(ModuleInstance i, void* items, int count, int opMode) {
  return Guarded("DeleteFiles", 0,
                 [&] { return Module(i)->DeleteFiles(static_cast<PluginPanelItemA*>(items), count, opMode); });
}

// Guarded apart: what escapes processKey is shown with the module's address and title.
int MODULE_API ProcessKey(ModuleInstance i, int key, unsigned int controlState) {
  MModuleBase* module = Module(i);
  std::string text;
  try {
    char head[80];
    std::snprintf(head, sizeof head, "pModule=0x%08x\r\npModule->processKey\r\n",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)));
    text = head;
    text += "Getting title:";
    text += module->getTitle();
    return module->processKey(key, controlState);
  } catch (...) {
  }
  try {
    handrel::ShowMessage("Exception", text.c_str(), nullptr, FMSG_WARNING);
  } catch (...) {
  }
  return 0;
}

int MODULE_API ProcessEditorInput(ModuleInstance i, const void* record) {
  return Guarded("ProcessEditorInput", 0, [&] { return Module(i)->ProcessEditorInput(record); });
}

int MODULE_API Configure(ModuleInstance i) {
  return Guarded("Configure", 0, [&] { return Module(i)->Configure(); });
}

void MODULE_API ReloadModuleSettings(ModuleInstance i) {
  Guarded<int>("ReloadModuleSettings", 0, [&] {
    Module(i)->ReloadModuleSettings();
    return 1;
  });
}

}  // extern "C"
