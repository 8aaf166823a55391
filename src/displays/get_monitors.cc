#include "displays/get_monitors.h"

#include <mutex>
#include <vector>

#include "displays/monitor_list.h"

namespace corvane {
namespace {

// Workers call too, each on its own thread, and the platforms' walks keep state of their own:
// one call at a time.
std::mutex listMutex;

// Some outputs report an unknown size as negative (KWin's virtual one as -1 mm): 0 says unknown
// on every backend, as Windows and X11 do.
int32_t physicalSize(int32_t millimetres) { return millimetres < 0 ? 0 : millimetres; }

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
  display.Set("widthMM", Napi::Number::New(env, physicalSize(record.widthMM)));
  display.Set("heightMM", Napi::Number::New(env, physicalSize(record.heightMM)));
  display.Set("isPrimary", Napi::Boolean::New(env, record.isPrimary));
  display.Set("aspectRatio", aspect);
  return display;
}

}  // namespace

Napi::Value getMonitors(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  std::vector<MonitorRecord> records;
  {
    std::lock_guard<std::mutex> lock(listMutex);
    records = listMonitors();
  }
  Napi::Array list = Napi::Array::New(env, records.size());
  for (size_t i = 0; i < records.size(); ++i)
    list.Set(static_cast<uint32_t>(i), makeDisplayInfo(env, records[i]));
  return list;
}

}  // namespace corvane
