// The transfer blocks and the file-level send and receive of ct_Connection.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "shared/server/connection.h"
#include "support/program_log.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file with a stream buffer of a few blocks, so that reading and
// writing block by block costs few system calls.
File OpenFile(const std::string& path, const char* mode) {
  File file(std::fopen(path.c_str(), mode));
  if (file) std::setvbuf(file.get(), nullptr, _IOFBF, 4 * ct_Connection::kBlockSize);
  return file;
}

// Where a received file's bytes go while they arrive: a file made new and
// exclusively in the target's folder, never through a link, renamed over the
// target once whole and removed otherwise.  Its name is "." and 13 random
// letters and digits: 14 bytes, a length every POSIX file system takes, so
// it fits wherever the target's name fits.  Mode 0600: a client's document
// is for the server's user alone.
class PendingFile {
 public:
  explicit PendingFile(const std::string& target) : target_(target) {
    const std::string folder = target.substr(0, target.rfind('/') + 1);  // empty without a separator
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::string name = ".";
      while (name.size() < 14) name += kLetters[pick(generator)];
      path_ = folder + name;
      int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd >= 0) {
        file_.reset(::fdopen(fd, "wb"));
        if (!file_) {
          ::close(fd);
          ::unlink(path_.c_str());
          return;
        }
        std::setvbuf(file_.get(), nullptr, _IOFBF, 4 * ct_Connection::kBlockSize);
        made_ = true;
        return;
      }
      if (errno != EEXIST) return;
    }
  }
  ~PendingFile() {
    file_.reset();
    if (made_) ::unlink(path_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // The stream to write to; null when the file could not be made.
  std::FILE* get() const { return file_.get(); }
  // Closes the file and puts it in the target's place (a link there is
  // replaced, not followed); false when either failed and it was removed.
  bool Commit() {
    bool ok = std::fclose(file_.release()) == 0 && std::rename(path_.c_str(), target_.c_str()) == 0;
    if (ok) made_ = false;
    return ok;
  }

 private:
  std::string target_;
  std::string path_;
  File file_;
  bool made_ = false;  // the file is there and not yet the target
};

// A zlib stream, ended by `End` when it goes if it was started.
template <int (*End)(z_streamp)>
struct ZStream {
  z_stream z{};
  bool started = false;
  ~ZStream() {
    if (started) End(&z);
  }
};
using DeflateStream = ZStream<deflateEnd>;
using InflateStream = ZStream<inflateEnd>;

}  // namespace

void ct_Connection::transferFailed(const std::string& location, const char* message) {
  LogMessage(location, message, 7);
  closeClient();
}

int32_t ct_Connection::SendFileTransferBlock(uint8_t* buffer, int32_t count, bool last, bool compressed,
                                             bool flush) {
  const std::string where = BRENIX_LOCATION("ct_Connection::SendFileTransferBlock");
  if (count < 0 || count > kPayloadSize) return -1;  // more than the payload area holds
  uint8_t flags = 0;
  int32_t carried = 0;
  uint8_t* start = buffer;
  if (count == kPayloadSize) {
    flags = kFullFlag;
    start = buffer + 2;
  } else {
    int32_t length = count;
    if (count + 3 > kBlockSize) {
      length = kLengthPayloadSize;
      carried = count - kLengthPayloadSize;
    }
    buffer[1] = static_cast<uint8_t>(length & 0xFF);
    buffer[2] = static_cast<uint8_t>(length >> 8);
  }
  if (last && carried == 0) flags |= kLastFlag;
  if (compressed) flags |= kCompressedFlag;
  *start = flags;
  if (net::SendAll(m_client, start, kBlockSize, ExchangeDeadline()) != 0) {
    clientCallFailed(where, "Failed send()");
    return -1;
  }
  if (carried == 0) return 0;
  std::memmove(buffer + 3, buffer + 3 + kLengthPayloadSize, static_cast<size_t>(carried));
  if (last || flush) return SendFileTransferBlock(buffer, carried, last, compressed, false);
  return carried;
}

bool ct_Connection::ReceiveFileTransferBlock(uint8_t* block) {
  const net::Deadline by = ExchangeDeadline();
  size_t have = TakeBuffered(block, kBlockSize);
  while (have < static_cast<size_t>(kBlockSize)) {
    // Reads ahead into the connection's buffer: fewer, larger receives.
    size_t got = 0;
    if (net::Receive(m_client, m_received.get(), kReceiveBufferSize, got, by) != 0) {
      clientCallFailed(BRENIX_LOCATION("ct_Connection::ReceiveFileTransferBlock"), "Failed recv()");
      return false;
    }
    if (got == 0) return false;  // the peer closed; the caller decides
    m_receivedBegin = 0;
    m_receivedEnd = got;
    have += TakeBuffered(block + have, kBlockSize - have);
  }
  return true;
}

bool ct_Connection::SendFileData(const std::string& path) {
  const std::string where = BRENIX_LOCATION("ct_Connection::SendFileData");
  File file = OpenFile(path, "rb");
  if (!file) {
    transferFailed(where, "Failed send: error opening file!");
    return false;
  }
  std::vector<uint8_t> buffer(kSendBufferSize);
  int32_t carried = 0;
  for (;;) {
    size_t n = std::fread(buffer.data() + 3 + carried, 1, static_cast<size_t>(kPayloadSize - carried), file.get());
    if (n == 0) break;
    carried = SendFileTransferBlock(buffer.data(), carried + static_cast<int32_t>(n), false, false, false);
    if (carried < 0) return false;
  }
  if (std::ferror(file.get())) {
    transferFailed(where, "Failed send: error reading file!");
    return false;
  }
  file.reset();
  return SendFileTransferBlock(buffer.data(), carried, true, false, false) == 0;
}

bool ct_Connection::SendFileDataCompressed(const std::string& path, int32_t level) {
  const std::string where = BRENIX_LOCATION("ct_Connection::SendFileDataCompressed");
  DeflateStream deflater;
  if (deflateInit(&deflater.z, level) != Z_OK) {
    transferFailed(where, "Failed send: compression init error!");
    return false;
  }
  deflater.started = true;
  z_stream& z = deflater.z;
  std::vector<uint8_t> buffer(kSendBufferSize);
  auto resetOutput = [&] {
    z.next_out = buffer.data() + 3;
    z.avail_out = kPayloadSize;
  };
  // Sends the full payload area; deflate is never called with it full.
  auto sendFull = [&] {
    if (SendFileTransferBlock(buffer.data(), kPayloadSize, false, true, true) < 0) return false;
    resetOutput();
    return true;
  };
  resetOutput();
  File file = OpenFile(path, "rb");
  if (!file) {
    transferFailed(where, "Failed send: error opening file!");
    return false;
  }
  std::vector<uint8_t> piece(kReadPieceSize);
  for (;;) {
    size_t n = std::fread(piece.data(), 1, piece.size(), file.get());
    if (n == 0) break;
    z.next_in = piece.data();
    z.avail_in = static_cast<uInt>(n);
    while (z.avail_in != 0) {
      if (z.avail_out == 0 && !sendFull()) return false;
      if (deflate(&z, Z_NO_FLUSH) != Z_OK) {
        transferFailed(where, "Failed send: compression error!");
        return false;
      }
    }
  }
  if (std::ferror(file.get())) {
    transferFailed(where, "Failed send: error reading file!");
    return false;
  }
  file.reset();
  for (;;) {
    if (z.avail_out == 0 && !sendFull()) return false;
    int result = deflate(&z, Z_FINISH);
    if (result == Z_STREAM_END) break;
    if (result != Z_OK) {
      transferFailed(where, "Failed send: compression error!");
      return false;
    }
  }
  if (z.avail_out == 0) {
    if (!sendFull()) return false;
  } else if (z.avail_out < static_cast<uInt>(kPayloadSize)) {
    int32_t pending = kPayloadSize - static_cast<int32_t>(z.avail_out);
    if (SendFileTransferBlock(buffer.data(), pending, false, true, true) < 0) return false;
  }
  return SendFileTransferBlock(buffer.data(), 0, true, false, true) == 0;
}

bool ct_Connection::ReceiveFileData(const std::string& path, bool& compressed) {
  const std::string where = BRENIX_LOCATION("ct_Connection::ReceiveFileData");
  PendingFile file(path);
  if (!file.get()) {
    transferFailed(where, "Failed receive: error creating file!");
    return false;
  }
  std::vector<uint8_t> block(kBlockSize);
  std::vector<uint8_t> window;
  InflateStream inflater;
  z_stream& z = inflater.z;
  bool streamEnded = false;
  uint64_t written = 0;
  auto write = [&](const uint8_t* data, size_t n) {
    if (n > m_limits.maxFileBytes - written) {
      transferFailed(where, "Failed receive: file too large!");
      return false;
    }
    if (std::fwrite(data, 1, n, file.get()) != n) {
      transferFailed(where, "Failed receive: error writing file!");
      return false;
    }
    written += n;
    return true;
  };
  // Inflates one payload into the file; bytes after the stream's end are
  // ignored.
  auto inflatePayload = [&](uint8_t* data, size_t n) {
    z.next_in = data;
    z.avail_in = static_cast<uInt>(n);
    while (!streamEnded) {
      z.next_out = window.data();
      z.avail_out = static_cast<uInt>(window.size());
      int result = inflate(&z, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        transferFailed(where, "Failed receive: DeCompression error!");
        return false;
      }
      size_t produced = window.size() - z.avail_out;
      if (produced > 0 && !write(window.data(), produced)) return false;
      if (result == Z_STREAM_END) streamEnded = true;
      // Without output to make from what is left, wait for the next payload.
      if (result == Z_BUF_ERROR || (z.avail_in == 0 && z.avail_out != 0)) break;
    }
    return true;
  };
  bool result = false;
  for (;;) {
    if (!ReceiveFileTransferBlock(block.data())) break;
    const uint8_t flags = block[0];
    if (flags & kCancelFlag) {
      transferFailed(where, "Failed receive: file transfer canceled by user!");
      break;
    }
    if ((flags & kCompressedFlag) && !inflater.started) {
      if (inflateInit(&z) != Z_OK) {
        transferFailed(where, "DeCompression init error!");
        break;
      }
      inflater.started = true;
      window.resize(kInflateWindowSize);
    }
    const size_t header = (flags & kFullFlag) ? 1 : 3;
    const size_t length = (flags & kFullFlag) ? kPayloadSize : (block[1] | block[2] << 8);
    if (header + length > static_cast<size_t>(kBlockSize)) {
      transferFailed(where, "Failed receive: file transfer error! (Header: bytes to write invalid!)");
      break;
    }
    if (length > 0) {
      bool ok = inflater.started ? inflatePayload(block.data() + header, length) : write(block.data() + header, length);
      if (!ok) break;
    }
    if (flags & kLastFlag) {
      // A compressed file is whole only when its stream ended.
      if (inflater.started && !streamEnded) {
        transferFailed(where, "Failed receive: DeCompression error!");
        break;
      }
      result = true;
      break;
    }
  }
  if (result && !file.Commit()) {
    transferFailed(where, "Failed receive: error writing file!");
    result = false;
  }
  compressed = inflater.started;
  return result;
}
