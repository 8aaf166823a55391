// MIT-SHM read-outs on X11: a System V segment that the server attaches too, and a shelf that
// lets grabbers taking turns share one.
#pragma once

#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "backends/x11/x11_session.h"

namespace corvane {

bool serverHasShm(xcb_connection_t* c);

// Marked for removal as soon as it is attached, so it goes away with the process whatever happens.
class SharedSegment {
 public:
  SharedSegment(std::shared_ptr<X11Session> session, size_t size);
  ~SharedSegment();
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;

  bool attached() const { return data_ != nullptr; }
  xcb_shm_seg_t id() const { return segment_; }
  const uint8_t* data() const { return data_; }
  bool serves(const X11Session& session, size_t size) const {
    return session_.get() == &session && size_ >= size;
  }

 private:
  std::shared_ptr<X11Session> session_;
  size_t size_;
  xcb_shm_seg_t segment_ = 0;
  uint8_t* data_ = nullptr;
};

// The segment of grabbers that take turns: handed to each of them on the same session that it is
// large enough for, and kept while one holds it.
class SegmentShelf {
 public:
  // Null when no segment can be attached.
  std::shared_ptr<SharedSegment> segmentFor(const std::shared_ptr<X11Session>& session, size_t size);

 private:
  std::weak_ptr<SharedSegment> shelved_;
};

}  // namespace corvane
