// The simulated build's control object: tests script the simulated desktop through it and read
// back the platform calls that were made.
#include <napi.h>

#include "common/test_controls.h"
#include "displays/sim_displays.h"
#include "sim/call_log.h"

namespace corvane {
namespace {

int32_t int32Property(Napi::Object object, const char* name) {
  Napi::Value value = object.Get(name);
  return value.IsNumber() ? value.As<Napi::Number>().Int32Value() : 0;
}

bool boolProperty(Napi::Object object, const char* name) {
  Napi::Value value = object.Get(name);
  return value.IsBoolean() && value.As<Napi::Boolean>().Value();
}

// setMonitors([{deviceName, x, y, flags, width, height, widthMM, heightMM, infoFails,
// displayFails}], {enumerationStopsAfter})
Napi::Value setMonitors(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (!info[0].IsArray()) {
    Napi::TypeError::New(env, "setMonitors takes an array of monitors").ThrowAsJavaScriptException();
    return env.Undefined();
  }
  Napi::Array list = info[0].As<Napi::Array>();
  sim::SimDisplaySetup setup;
  for (uint32_t i = 0; i < list.Length(); ++i) {
    Napi::Value entry = list.Get(i);
    if (!entry.IsObject()) continue;
    Napi::Object m = entry.As<Napi::Object>();
    sim::SimMonitor monitor;
    Napi::Value name = m.Get("deviceName");
    monitor.deviceName = name.IsString() ? name.As<Napi::String>().Utf8Value() : std::string();
    monitor.left = int32Property(m, "x");
    monitor.top = int32Property(m, "y");
    monitor.flags = static_cast<uint32_t>(int32Property(m, "flags"));
    monitor.width = int32Property(m, "width");
    monitor.height = int32Property(m, "height");
    monitor.widthMM = int32Property(m, "widthMM");
    monitor.heightMM = int32Property(m, "heightMM");
    monitor.infoFails = boolProperty(m, "infoFails");
    monitor.displayFails = boolProperty(m, "displayFails");
    setup.monitors.push_back(std::move(monitor));
  }
  if (info[1].IsObject()) {
    Napi::Value stop = info[1].As<Napi::Object>().Get("enumerationStopsAfter");
    if (stop.IsNumber()) setup.enumerationStopsAfter = stop.As<Napi::Number>().Int64Value();
  }
  sim::setDisplays(std::move(setup));
  return env.Undefined();
}

Napi::Value takeCalls(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  std::vector<std::string> calls = sim::takeCalls();
  Napi::Array list = Napi::Array::New(env, calls.size());
  for (size_t i = 0; i < calls.size(); ++i) list.Set(static_cast<uint32_t>(i), calls[i]);
  return list;
}

Napi::Value openDisplayContexts(const Napi::CallbackInfo& info) {
  return Napi::Number::New(info.Env(), static_cast<double>(sim::openDisplayContexts()));
}

}  // namespace

void attachTestControls(Napi::Env env, Napi::Object exports) {
  Napi::Object simulator = Napi::Object::New(env);
  simulator.Set("setMonitors", Napi::Function::New(env, setMonitors, "setMonitors"));
  simulator.Set("takeCalls", Napi::Function::New(env, takeCalls, "takeCalls"));
  simulator.Set("openDisplayContexts", Napi::Function::New(env, openDisplayContexts, "openDisplayContexts"));
  // Not enumerable, so the exports' keys stay the public functions.
  exports.DefineProperty(Napi::PropertyDescriptor::Value("simulator", simulator, napi_default));
}

}  // namespace corvane
