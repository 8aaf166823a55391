#include "displays/get_monitors.h"

#include <mutex>
#include <vector>

#include "displays/monitor_list.h"

namespace corvane {
namespace {

// The last enumeration; refilled on every call, keeping its storage. Workers call too, each on
// its own thread, so a call holds the lock from the enumeration to the last object made.
std::mutex recordsMutex;
std::vector<MonitorRecord> monitorRecords;

Napi::Object makeDisplayInfo(Napi::Env env, const MonitorRecord& record) {
  Napi::Object display = Napi::Object::New(env);
  Napi::Object aspect = Napi::Object::New(env);
  const AspectRatio ratio = reduceAspectRatio(record.width, record.height);
  aspect.Set("aspectWidth", Napi::Number::New(env, static_cast<double>(ratio.width)));
  aspect.Set("aspectHeight", Napi::Number::New(env, static_cast<double>(ratio.height)));

  display.Set("displayId", Napi::String::New(env, record.deviceName));
  display.Set("x", Napi::Number::New(env, record.x));
  display.Set("y", Napi::Number::New(env, record.y));
  display.Set("width", Napi::Number::New(env, record.width));
  display.Set("height", Napi::Number::New(env, record.height));
  display.Set("widthMM", Napi::Number::New(env, record.widthMM));
  display.Set("heightMM", Napi::Number::New(env, record.heightMM));
  display.Set("isPrimary", Napi::Boolean::New(env, record.isPrimary));
  display.Set("aspectRatio", aspect);
  return display;
}

}  // namespace

Napi::Value getMonitors(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  std::lock_guard<std::mutex> lock(recordsMutex);
  collectMonitors(displayPlatform(), monitorRecords);

  Napi::Array list = Napi::Array::New(env, monitorRecords.size());
  for (size_t i = 0; i < monitorRecords.size(); ++i) {
    list.Set(static_cast<uint32_t>(i), makeDisplayInfo(env, monitorRecords[i]));
  }
  return list;
}

}  // namespace corvane
