#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

// The simulated module carries the same entry points as the shipped one. This executable exports
// stand-ins for the Node-API symbols, so the module loads here without a host.
TEST(EntryPoints, ReportsNodeApiVersion8AndRegisters) {
  void* module = dlopen(CORVANE_SIM_MODULE, RTLD_LAZY | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto version = reinterpret_cast<int32_t (*)()>(dlsym(module, "node_api_module_get_api_version_v1"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 8);
  EXPECT_NE(dlsym(module, "napi_register_module_v1"), nullptr);
  dlclose(module);
}
