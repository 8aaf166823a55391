#include "backends/portal/portal_grabber.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "backends/portal/pipewire_stream.h"
#include "backends/portal/portal_session.h"
#include "common/diagnostics.h"
#include "common/worker_thread.h"

namespace corvane {
namespace {

std::string readToken(const std::string& path) {
  UniqueFd file(path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return {};
  char text[512];
  const ssize_t length = read(file.get(), text, sizeof(text));
  return length > 0 ? restoreTokenFrom(std::string(text, static_cast<size_t>(length))) : std::string();
}

// Makes the folder and those above it, private to the user as the state folder should be.
bool makeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Written whole and then renamed, so a token is never read half written.
bool saveToken(const std::string& path, const std::string& token) {
  if (path.empty() || !makeFolders(path.substr(0, path.rfind('/')))) return false;
  const std::string partial = path + ".partial";
  UniqueFd file(open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (file.get() < 0) return false;
  const bool written = write(file.get(), token.data(), token.size()) == static_cast<ssize_t>(token.size());
  return written && close(file.release()) == 0 && rename(partial.c_str(), path.c_str()) == 0;
}

class PortalGrabber final : public PictureGrabber {
 public:
  PortalGrabber(PortalOutput output, int32_t width, int32_t height, uint64_t samplingRate)
      : PictureGrabber(width, height, samplingRate),
        output_(std::move(output)),
        width_(width),
        height_(height),
        label_("capture of " + output_.name + " through the desktop portal: "),
        cancel_(eventfd(0, EFD_CLOEXEC)) {
    std::string error;
    if (cancel_.get() < 0) {
      fail(std::string("no event descriptor (") + std::strerror(errno) + ")");
    } else if (!thread_.start([this] { connect(); }, error)) {
      fail("no thread for the portal (" + error + ")");
    }
  }

  // The thread is told to stop and joined before what it may still be making goes.
  ~PortalGrabber() override {
    if (cancel_.get() >= 0) {
      const uint64_t one = 1;
      while (write(cancel_.get(), &one, sizeof(one)) < 0 && errno == EINTR) {
      }
    }
    thread_.join();
    stream_.reset();
    session_.reset();
  }

  std::string blindness() const override { return blindness_; }
  const char* way() const override { return "the desktop portal"; }

 private:
  // Null, so zero-filled, until the stream's first frame, or for good when the portal or the
  // stream failed; blindness_ says why once that is known.
  const uint8_t* readPicture() override {
    std::lock_guard<std::mutex> lock(mutex_);
    blindness_ = failure_;
    if (stream_ == nullptr) return nullptr;
    if (frame_ == nullptr) {
      frame_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(width_) * height_ * 4]());
      if (frame_ == nullptr) {
        blindness_ = "no memory for the pixels";
        return nullptr;
      }
    }
    PipeWireStream::Written written = stream_->copyNewest(frame_.get(), width_, height_);
    // A stream that shrank leaves its old pixels past the new edge: zeroed, then copied anew.
    if (written.width < last_.width || written.height < last_.height) {
      std::memset(frame_.get(), 0, static_cast<size_t>(width_) * height_ * 4);
      written = stream_->copyNewest(frame_.get(), width_, height_);
    }
    last_ = written;
    if (written.width > 0 && written.height > 0) {
      framed_ = true;
      return frame_.get();
    }
    blindness_ = stream_->failure();
    if (blindness_.empty() && !framed_ && Clock::now() - streamOpenedAt_ > kFirstFrameTime) {
      if (noFrame_.empty()) {
        noFrame_ = "no frame came from the PipeWire stream within 5 s (" + stream_->describe() + ")";
      }
      blindness_ = noFrame_;
    }
    return nullptr;
  }

  // From the constructor or the portal's thread; the first reason stays.
  void fail(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_.empty()) failure_ = why;
  }

  // On the grabber's thread: the portal's handshake, then the stream handed to grab().
  void connect() {
    std::string why;
    // Checked first, so that no user is asked to share for nothing.
    const PipeWireLibrary* pw = runtimeLibrary<PipeWireLibrary>(&why);
    if (pw == nullptr) return fail("PipeWire is missing (" + why + ")");
    const std::string tokenPath =
        restoreTokenPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"), output_.name);
    PortalGrant grant;
    // A refused token is not handed over again; the user is asked instead.
    const auto dropToken = [&](const std::string& refusal) {
      writeDiagnosticLine(label_ + "the saved restore token was refused (" + refusal + "); asking again");
      unlink(tokenPath.c_str());
    };
    std::unique_ptr<PortalSession> session =
        PortalSession::open(readToken(tokenPath), dropToken, cancel_.get(), grant, why);
    if (session == nullptr) {
      if (!why.empty()) fail(why);
      return;
    }
    // A token is good for one start; the next start needs the new one.
    if (!grant.restoreToken.empty() && !saveToken(tokenPath, grant.restoreToken)) {
      writeDiagnosticLine(label_ + "the restore token could not be saved in " + tokenPath);
    }
    const std::optional<PortalStream> chosen = chooseStream(grant.streams, output_, why);
    if (!chosen) return fail(why);
    std::unique_ptr<PipeWireStream> stream =
        PipeWireStream::open(*pw, std::move(grant.remote), chosen->node, why);
    if (stream == nullptr) return fail(why);
    std::lock_guard<std::mutex> lock(mutex_);
    session_ = std::move(session);
    stream_ = std::move(stream);
    streamOpenedAt_ = Clock::now();
  }

  using Clock = std::chrono::steady_clock;
  // Producers send a frame as soon as the stream runs; one that never does is worth a line.
  static constexpr auto kFirstFrameTime = std::chrono::seconds(5);

  const PortalOutput output_;
  const int32_t width_;
  const int32_t height_;
  const std::string label_;
  UniqueFd cancel_;
  std::mutex mutex_;
  // Under mutex_:
  std::string failure_;  // why the portal gave no stream
  std::unique_ptr<PortalSession> session_;
  std::unique_ptr<PipeWireStream> stream_;
  Clock::time_point streamOpenedAt_;
  // The worker's own:
  std::unique_ptr<uint8_t[]> frame_;
  PipeWireStream::Written last_;
  bool framed_ = false;    // a frame came
  std::string noFrame_;    // why none came, once said
  std::string blindness_;  // of the last grab
  WorkerThread thread_;    // last: started once everything it uses is made
};

}  // namespace

std::unique_ptr<DisplayGrabber> openPortalGrabber(const PortalOutput& output, const DisplayRequest& display,
                                                  uint64_t samplingRate) {
  return std::make_unique<PortalGrabber>(output, display.width, display.height, samplingRate);
}

}  // namespace corvane
