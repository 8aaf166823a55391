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
#include <vector>

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

using Clock = std::chrono::steady_clock;

// One ScreenCast session for a set of outputs, asked on a thread of its own, and a PipeWire stream
// for each output the user shared. Its grabbers own it together.
class PortalShare {
 public:
  explicit PortalShare(std::vector<PortalOutput> outputs)
      : streams(outputs.size()), outputs_(std::move(outputs)), cancel_(eventfd(0, EFD_CLOEXEC)) {
    std::string error;
    if (cancel_.get() < 0) {
      fail(std::string("no event descriptor (") + std::strerror(errno) + ")");
    } else if (!thread_.start([this] { connect(); }, error)) {
      fail("no thread for the portal (" + error + ")");
    }
  }

  // The thread is told to stop and joined before what it may still be making goes.
  ~PortalShare() {
    if (cancel_.get() >= 0) {
      const uint64_t one = 1;
      while (write(cancel_.get(), &one, sizeof(one)) < 0 && errno == EINTR) {
      }
    }
    thread_.join();
    for (OutputStream& output : streams) output.stream.reset();
    session_.reset();
  }

  PortalShare(const PortalShare&) = delete;
  PortalShare& operator=(const PortalShare&) = delete;

  // What the grabber of each output reads, under mutex.
  struct OutputStream {
    std::string failure;  // why it has no stream; the session's failure is everyone's
    std::unique_ptr<PipeWireStream> stream;
    Clock::time_point openedAt;
  };
  std::mutex mutex;
  std::vector<OutputStream> streams;  // one per output

 private:
  // From the constructor or the thread; the first reason stays.
  void fail(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex);
    for (OutputStream& output : streams) {
      if (output.failure.empty()) output.failure = why;
    }
  }

  // On the share's thread: the portal's handshake, then a stream for each output shared.
  void connect() {
    std::string why;
    // Checked first, so that no user is asked to share for nothing.
    const PipeWireLibrary* pw = runtimeLibrary<PipeWireLibrary>(&why);
    if (pw == nullptr) return fail("PipeWire is missing (" + why + ")");
    std::vector<std::string> names;
    std::string namesSaid;
    names.reserve(outputs_.size());
    for (const PortalOutput& output : outputs_) {
      names.push_back(output.name);
      namesSaid += (namesSaid.empty() ? "" : " and ") + output.name;
    }
    const std::string tokenPath = restoreTokenPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"), names);
    const std::string label = "capture of " + namesSaid + " through the desktop portal: ";
    PortalGrant grant;
    // A refused token is not handed over again; the user is asked instead.
    const auto dropToken = [&](const std::string& refusal) {
      writeDiagnosticLine(label + "the saved restore token was refused (" + refusal + "); asking again");
      unlink(tokenPath.c_str());
    };
    session_ =
        PortalSession::open(outputs_.size() > 1, readToken(tokenPath), dropToken, cancel_.get(), grant, why);
    if (session_ == nullptr) {
      if (!why.empty()) fail(why);
      return;
    }
    // A token is good for one start; the next start needs the new one.
    if (!grant.restoreToken.empty() && !saveToken(tokenPath, grant.restoreToken)) {
      writeDiagnosticLine(label + "the restore token could not be saved in " + tokenPath);
    }
    std::vector<std::string> whys;
    const std::vector<std::optional<PortalStream>> chosen = chooseStreams(grant.streams, outputs_, whys);
    for (size_t i = 0; i < outputs_.size(); ++i) {
      std::unique_ptr<PipeWireStream> stream;
      if (chosen[i]) {
        UniqueFd remote = session_->openRemote(whys[i]);
        if (remote) stream = PipeWireStream::open(*pw, std::move(remote), chosen[i]->node, whys[i]);
      }
      std::lock_guard<std::mutex> lock(mutex);
      streams[i].failure = whys[i];
      streams[i].stream = std::move(stream);
      streams[i].openedAt = Clock::now();
    }
  }

  const std::vector<PortalOutput> outputs_;
  UniqueFd cancel_;
  std::unique_ptr<PortalSession> session_;  // the thread's until joined
  WorkerThread thread_;                     // last: started once everything it uses is made
};

class PortalGrabber final : public PictureGrabber {
 public:
  PortalGrabber(std::shared_ptr<PortalShare> share, size_t index, int32_t width, int32_t height,
                uint64_t samplingRate)
      : PictureGrabber(width, height, samplingRate), share_(std::move(share)), index_(index) {}

  std::string blindness() const override { return blindness_; }
  const char* way() const override { return "the desktop portal"; }

 private:
  // Null, so zero-filled, until the stream's first frame, or for good when the portal or the
  // stream failed; blindness_ says why once that is known.
  const uint8_t* readPicture() override {
    std::lock_guard<std::mutex> lock(share_->mutex);
    const PortalShare::OutputStream& output = share_->streams[index_];
    blindness_ = output.failure;
    PipeWireStream* stream = output.stream.get();
    if (stream == nullptr) return nullptr;
    if (frame_ == nullptr) {
      frame_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(width()) * height() * 4]());
      if (frame_ == nullptr) {
        blindness_ = "no memory for the pixels";
        return nullptr;
      }
    }
    PipeWireStream::Written written = stream->copyNewest(frame_.get(), width(), height());
    // A stream that shrank leaves its old pixels past the new edge: zeroed, then copied anew.
    if (written.width < last_.width || written.height < last_.height) {
      std::memset(frame_.get(), 0, static_cast<size_t>(width()) * height() * 4);
      written = stream->copyNewest(frame_.get(), width(), height());
    }
    last_ = written;
    if (written.width > 0 && written.height > 0) {
      framed_ = true;
      return frame_.get();
    }
    blindness_ = stream->failure();
    if (blindness_.empty() && !framed_ && Clock::now() - output.openedAt > kFirstFrameTime) {
      if (noFrame_.empty()) {
        noFrame_ = "no frame came from the PipeWire stream within 5 s (" + stream->describe() + ")";
      }
      blindness_ = noFrame_;
    }
    return nullptr;
  }

  // Producers send a frame as soon as the stream runs; one that never does is worth a line.
  static constexpr auto kFirstFrameTime = std::chrono::seconds(5);

  const std::shared_ptr<PortalShare> share_;
  const size_t index_;
  std::unique_ptr<uint8_t[]> frame_;
  PipeWireStream::Written last_;
  bool framed_ = false;    // a frame came
  std::string noFrame_;    // why none came, once said
  std::string blindness_;  // of the last grab
};

}  // namespace

std::vector<std::unique_ptr<DisplayGrabber>> openPortalGrabbers(const std::vector<PortalOutput>& outputs,
                                                                const std::vector<DisplayRequest>& displays,
                                                                uint64_t samplingRate) {
  auto share = std::make_shared<PortalShare>(outputs);
  std::vector<std::unique_ptr<DisplayGrabber>> grabbers;
  grabbers.reserve(displays.size());
  for (size_t i = 0; i < displays.size(); ++i)
    grabbers.push_back(
        std::make_unique<PortalGrabber>(share, i, displays[i].width, displays[i].height, samplingRate));
  return grabbers;
}

}  // namespace corvane
