// Argument tests and conversions shared by the exported functions.
#pragma once

#include <napi.h>

#include <cstdint>

namespace corvane {

// Objects and functions pass where the module takes an object; null does not.
inline bool isObjectOrFunction(const Napi::Value& value) {
  const napi_valuetype type = value.Type();
  return type == napi_object || type == napi_function;
}

// ECMAScript ToUint32 of a value already known to be a number.
inline uint32_t numberToUint32(const Napi::Value& number) { return number.As<Napi::Number>().Uint32Value(); }

// ToNumber, then ToUint32 (or ToInt32); 0 when the value is empty (its read threw) or the
// conversion throws, which leaves the exception pending. An empty value must never reach
// node-addon-api's conversions: they end the process on it.
inline uint32_t toUint32(const Napi::Value& value) {
  if (value.IsEmpty()) return 0;
  Napi::Number number = value.ToNumber();
  return number.IsEmpty() ? 0 : number.Uint32Value();
}

inline int32_t toInt32(const Napi::Value& value) {
  if (value.IsEmpty()) return 0;
  Napi::Number number = value.ToNumber();
  return number.IsEmpty() ? 0 : number.Int32Value();
}

// ToString, then its UTF-8 bytes; empty as above.
inline std::string toUtf8(const Napi::Value& value) {
  if (value.IsEmpty()) return std::string();
  Napi::String text = value.ToString();
  return text.IsEmpty() ? std::string() : text.Utf8Value();
}

}  // namespace corvane
