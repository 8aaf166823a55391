#include <windows.h>

#include "common/module_pin.h"

namespace corvane {

void pinModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&pinModule), &self);
}

}  // namespace corvane
