// The simulated build's control object, beside the module entry since it reaches every
// subsystem's simulated platform: tests script the simulated desktop through it and read
// back the platform calls that were made.
#include <napi.h>

#include <cstring>

#include "backends/windows_sim/call_log.h"
#include "backends/windows_sim/desktop.h"
#include "backends/windows_sim/faults.h"
#include "backends/windows_sim/sim_audio.h"
#include "backends/windows_sim/sim_cursor.h"
#include "backends/windows_sim/sim_gdi.h"
#include "backends/windows_sim/sim_windows.h"
#include "common/callback_queue.h"
#include "common/test_controls.h"

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

Napi::Value fail(Napi::Env env, const char* message) {
  Napi::TypeError::New(env, message).ThrowAsJavaScriptException();
  return env.Undefined();
}

// setMonitors([{deviceName, x, y, flags, width, height, widthMM, heightMM, infoFails,
// displayFails, pixels}], {enumerationStopsAfter}). pixels, a Buffer of width x height
// blue-green-red-reserved pixels, is what the monitor shows; without it, the standard picture.
Napi::Value setMonitors(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (!info[0].IsArray()) return fail(env, "setMonitors takes an array of monitors");
  Napi::Array list = info[0].As<Napi::Array>();
  sim::SimDesktop desktop;
  for (uint32_t i = 0; i < list.Length(); ++i) {
    Napi::Value entry = list.Get(i);
    if (!entry.IsObject()) return fail(env, "each monitor is an object");
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
    Napi::Value pixels = m.Get("pixels");
    if (pixels.IsBuffer()) {
      auto buffer = pixels.As<Napi::Buffer<uint8_t>>();
      if (monitor.width < 0 || monitor.height < 0 ||
          buffer.Length() != static_cast<size_t>(monitor.width) * static_cast<size_t>(monitor.height) * 4) {
        return fail(env, "pixels must hold width x height x 4 bytes");
      }
      monitor.pixels =
          std::make_shared<const std::vector<uint8_t>>(buffer.Data(), buffer.Data() + buffer.Length());
    }
    desktop.monitors.push_back(std::move(monitor));
  }
  if (info[1].IsObject()) {
    Napi::Value stop = info[1].As<Napi::Object>().Get("enumerationStopsAfter");
    if (stop.IsNumber()) desktop.enumerationStopsAfter = stop.As<Napi::Number>().Int64Value();
  }
  sim::setDesktop(std::move(desktop));
  return env.Undefined();
}

Napi::Value takeCalls(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  std::vector<std::string> calls = sim::takeCalls();
  Napi::Array list = Napi::Array::New(env, calls.size());
  for (size_t i = 0; i < calls.size(); ++i) list.Set(static_cast<uint32_t>(i), calls[i]);
  return list;
}

Napi::Value setRecording(const Napi::CallbackInfo& info) {
  sim::setRecording(info[0].ToBoolean().Value());
  return info.Env().Undefined();
}

Napi::Value openDisplayContexts(const Napi::CallbackInfo& info) {
  return Napi::Number::New(info.Env(), static_cast<double>(sim::openDisplayContexts()));
}

// setGdiFaults({createDisplayContext, createCompatibleContext, createCompatibleBitmap, bitBlt,
// getDIBits, dibLines, grabDelayMs, rowDelayUs, bitBltFromRow, maxBitmapPixels}): what the graphics device
// calls of every grab do from now on.
Napi::Value setGdiFaults(const Napi::CallbackInfo& info) {
  sim::GdiFaults faults;
  if (info[0].IsObject()) {
    Napi::Object f = info[0].As<Napi::Object>();
    faults.createDisplayContext = boolProperty(f, "createDisplayContext");
    faults.createCompatibleContext = boolProperty(f, "createCompatibleContext");
    faults.createCompatibleBitmap = boolProperty(f, "createCompatibleBitmap");
    faults.bitBlt = boolProperty(f, "bitBlt");
    faults.getDIBits = boolProperty(f, "getDIBits");
    faults.dibLines = int32Property(f, "dibLines");
    faults.grabDelayMs = static_cast<uint32_t>(int32Property(f, "grabDelayMs"));
    faults.rowDelayUs = static_cast<uint32_t>(int32Property(f, "rowDelayUs"));
    faults.bitBltFromRow = int32Property(f, "bitBltFromRow");
    Napi::Value maxPixels = f.Get("maxBitmapPixels");
    if (maxPixels.IsNumber())
      faults.maxBitmapPixels = static_cast<uint64_t>(maxPixels.As<Napi::Number>().Int64Value());
  }
  sim::setGdiFaults(faults);
  return info.Env().Undefined();
}

// {contexts, bitmaps, grabs, rowCopies, misuses}: graphics objects alive, whole and one-row copies
// since resetGdi(), and calls
// that real GDI would refuse.
Napi::Value gdiCensus(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const sim::GdiCensus census = sim::gdiCensus();
  Napi::Object result = Napi::Object::New(env);
  result.Set("contexts", Napi::Number::New(env, static_cast<double>(census.contexts)));
  result.Set("bitmaps", Napi::Number::New(env, static_cast<double>(census.bitmaps)));
  result.Set("grabs", Napi::Number::New(env, static_cast<double>(census.grabs)));
  result.Set("rowCopies", Napi::Number::New(env, static_cast<double>(census.rowCopies)));
  Napi::Array misuses = Napi::Array::New(env, census.misuses.size());
  for (size_t i = 0; i < census.misuses.size(); ++i) misuses.Set(static_cast<uint32_t>(i), census.misuses[i]);
  result.Set("misuses", misuses);
  return result;
}

Napi::Value resetGdi(const Napi::CallbackInfo& info) {
  sim::resetGdi();
  return info.Env().Undefined();
}

// failNext('thread' | 'threadsafeFunction' | 'queueCall', times = 1)
Napi::Value failNext(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const std::string kind = info[0].IsString() ? info[0].As<Napi::String>().Utf8Value() : std::string();
  const int times = info[1].IsNumber() ? info[1].As<Napi::Number>().Int32Value() : 1;
  if (kind == "thread") {
    sim::armFault(Fault::ThreadStart, times);
  } else if (kind == "threadsafeFunction") {
    sim::armFault(Fault::ThreadSafeFunction, times);
  } else if (kind == "queueCall") {
    sim::armFault(Fault::QueueCall, times);
  } else {
    return fail(env, "failNext takes 'thread', 'threadsafeFunction' or 'queueCall'");
  }
  return env.Undefined();
}

// The standard picture's pixel at (x, y) as [blue, green, red, reserved].
Napi::Value patternPixel(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const uint32_t pixel =
      sim::patternPixel(info[0].As<Napi::Number>().Int32Value(), info[1].As<Napi::Number>().Int32Value());
  Napi::Array bytes = Napi::Array::New(env, 4);
  for (uint32_t i = 0; i < 4; ++i) bytes.Set(i, Napi::Number::New(env, (pixel >> (8 * i)) & 0xFF));
  return bytes;
}

// setCursor(x, y): where the pointer is from now on.
Napi::Value setCursor(const Napi::CallbackInfo& info) {
  sim::setCursor(info[0].As<Napi::Number>().Int32Value(), info[1].As<Napi::Number>().Int32Value());
  return info.Env().Undefined();
}

// setCursorError(code): reads fail with this error code from now on; 0 lets them succeed.
Napi::Value setCursorError(const Napi::CallbackInfo& info) {
  sim::setCursorError(info[0].As<Napi::Number>().Uint32Value());
  return info.Env().Undefined();
}

Napi::Value cursorReads(const Napi::CallbackInfo& info) {
  return Napi::Number::New(info.Env(), static_cast<double>(sim::cursorReads()));
}

// setAudio({coInitialize, createEnumerator, defaultEndpoint, activateMeter, peakValue, level,
// failedPeakWrites, delayMs}): each step's COM result (negative fails it) and the meter's level.
Napi::Value setAudio(const Napi::CallbackInfo& info) {
  sim::AudioScript script;
  if (info[0].IsObject()) {
    Napi::Object a = info[0].As<Napi::Object>();
    script.coInitialize = int32Property(a, "coInitialize");
    script.createEnumerator = int32Property(a, "createEnumerator");
    script.defaultEndpoint = int32Property(a, "defaultEndpoint");
    script.activateMeter = int32Property(a, "activateMeter");
    script.peakValue = int32Property(a, "peakValue");
    Napi::Value level = a.Get("level");
    if (level.IsNumber()) script.level = level.As<Napi::Number>().FloatValue();
    script.failedPeakWrites = boolProperty(a, "failedPeakWrites");
    script.delayMs = static_cast<uint32_t>(int32Property(a, "delayMs"));
  }
  sim::setAudio(script);
  return info.Env().Undefined();
}

// {objects, apartments, workerApartments, reads}: interfaces not released, COM entries of the ticks
// and of the stream workers not left, and reads so far.
Napi::Value audioCensus(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const sim::AudioCensus census = sim::audioCensus();
  Napi::Object result = Napi::Object::New(env);
  result.Set("objects", Napi::Number::New(env, static_cast<double>(census.objects)));
  result.Set("apartments", Napi::Number::New(env, static_cast<double>(census.apartments)));
  result.Set("workerApartments", Napi::Number::New(env, static_cast<double>(census.workerApartments)));
  result.Set("reads", Napi::Number::New(env, static_cast<double>(census.reads)));
  return result;
}

uint64_t windowOf(const Napi::Value& value) {
  if (value.IsBuffer()) {
    auto buffer = value.As<Napi::Buffer<uint8_t>>();
    uint64_t handle = 0;
    if (buffer.Length() >= sizeof(handle)) std::memcpy(&handle, buffer.Data(), sizeof(handle));
    return handle;
  }
  return value.IsNumber() ? static_cast<uint64_t>(value.As<Napi::Number>().Int64Value()) : 0;
}

// createWindow(result = 0): a window whose own procedure answers result; its handle as an 8-byte
// Buffer, as Electron's getNativeWindowHandle() gives one.
Napi::Value createWindow(const Napi::CallbackInfo& info) {
  const int64_t result = info[0].IsNumber() ? info[0].As<Napi::Number>().Int64Value() : 0;
  const uint64_t handle = sim::createWindow(result);
  return Napi::Buffer<uint8_t>::Copy(info.Env(), reinterpret_cast<const uint8_t*>(&handle), sizeof(handle));
}

// sendMessage(window, message, wParam = 0, lParam = 0): what the window's current procedure answers.
Napi::Value sendMessage(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  int64_t result = 0;
  const auto number = [&](size_t i) {
    return info[i].IsNumber() ? info[i].As<Napi::Number>().Int64Value() : 0;
  };
  if (!sim::sendMessage(windowOf(info[0]), static_cast<uint32_t>(number(1)), static_cast<uint64_t>(number(2)),
                        number(3), result)) {
    return fail(env, "sendMessage: no such window");
  }
  return Napi::Number::New(env, static_cast<double>(result));
}

// windowMessages(window): [[message, wParam, lParam], ...] that reached the window's own procedure.
Napi::Value windowMessages(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const std::vector<sim::ReceivedMessage> messages = sim::windowMessages(windowOf(info[0]));
  Napi::Array list = Napi::Array::New(env, messages.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    Napi::Array entry = Napi::Array::New(env, 3);
    entry.Set(0u, Napi::Number::New(env, messages[i].message));
    entry.Set(1u, Napi::Number::New(env, static_cast<double>(messages[i].wParam)));
    entry.Set(2u, Napi::Number::New(env, static_cast<double>(messages[i].lParam)));
    list.Set(static_cast<uint32_t>(i), entry);
  }
  return list;
}

// raceOnInstall(window, message): the next procedure installed on the window sees this message
// before the installation returns.
Napi::Value raceOnInstall(const Napi::CallbackInfo& info) {
  sim::raceOnInstall(windowOf(info[0]), info[1].As<Napi::Number>().Uint32Value());
  return info.Env().Undefined();
}

// liveQueues(): the callback queues made and not yet finalized, in every environment.
Napi::Value liveQueues(const Napi::CallbackInfo& info) {
  return Napi::Number::New(info.Env(), static_cast<double>(liveCallbackQueues()));
}

}  // namespace

void attachTestControls(Napi::Env env, Napi::Object exports) {
  Napi::Object simulator = Napi::Object::New(env);
  const std::pair<const char*, Napi::Value (*)(const Napi::CallbackInfo&)> controls[] = {
      {"setMonitors", setMonitors},
      {"takeCalls", takeCalls},
      {"setRecording", setRecording},
      {"openDisplayContexts", openDisplayContexts},
      {"setGdiFaults", setGdiFaults},
      {"gdiCensus", gdiCensus},
      {"resetGdi", resetGdi},
      {"failNext", failNext},
      {"patternPixel", patternPixel},
      {"setCursor", setCursor},
      {"setCursorError", setCursorError},
      {"cursorReads", cursorReads},
      {"setAudio", setAudio},
      {"audioCensus", audioCensus},
      {"createWindow", createWindow},
      {"sendMessage", sendMessage},
      {"windowMessages", windowMessages},
      {"raceOnInstall", raceOnInstall},
      {"liveQueues", liveQueues},
  };
  for (const auto& [name, control] : controls) simulator.Set(name, Napi::Function::New(env, control, name));
  // Not enumerable, so the exports' keys stay the public functions.
  exports.DefineProperty(Napi::PropertyDescriptor::Value("simulator", simulator, napi_default));
}

}  // namespace corvane
