// Node-API is imported lazily from "node.exe". Electron and other hosts export it from an
// executable of another name, so the delay-load hook answers that name with the main module.
#include <windows.h>
// delayimp.h needs windows.h first.
#include <delayimp.h>

namespace {

FARPROC WINAPI resolveHostModule(unsigned notification, PDelayLoadInfo info) {
  if (notification == dliNotePreLoadLibrary && info != nullptr && info->szDll != nullptr &&
      lstrcmpiA(info->szDll, "node.exe") == 0) {
    return reinterpret_cast<FARPROC>(GetModuleHandleA(nullptr));
  }
  return nullptr;
}

}  // namespace

// Declared exactly as delayimp.h has it, or the definitions clash.
PfnDliHook __pfnDliNotifyHook2 = resolveHostModule;
