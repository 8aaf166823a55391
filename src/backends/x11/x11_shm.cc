#include "backends/x11/x11_shm.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace corvane {

bool serverHasShm(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, &xcb_shm_id);
  return data != nullptr && data->present != 0;
}

SharedSegment::SharedSegment(std::shared_ptr<X11Session> session, size_t size)
    : session_(std::move(session)), size_(size) {
  X11Exchange exchange(*session_);
  if (exchange.failed()) return;
  const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (id < 0) return;
  void* address = shmat(id, nullptr, 0);
  if (address != reinterpret_cast<void*>(-1)) {
    xcb_connection_t* c = session_->connection();
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    if (exchange.succeeded(xcb_shm_attach_checked(c, segment, id, 0))) {
      segment_ = segment;
      data_ = static_cast<uint8_t*>(address);
    } else {
      // Given up on, the attach may still be done when the server answers again.
      if (exchange.failed()) xcb_shm_detach(c, segment);
      shmdt(address);
    }
  }
  shmctl(id, IPC_RMID, nullptr);
}

SharedSegment::~SharedSegment() {
  if (data_ == nullptr) return;
  xcb_shm_detach(session_->connection(), segment_);
  xcb_flush(session_->connection());
  shmdt(data_);
}

std::shared_ptr<SharedSegment> SegmentShelf::segmentFor(const std::shared_ptr<X11Session>& session,
                                                        size_t size) {
  std::shared_ptr<SharedSegment> segment = shelved_.lock();
  if (segment != nullptr && segment->serves(*session, size)) return segment;
  segment = std::make_shared<SharedSegment>(session, size);
  if (!segment->attached()) return nullptr;
  shelved_ = segment;
  return segment;
}

}  // namespace corvane
