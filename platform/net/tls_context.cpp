#include "platform/net/tls_context.h"

#include <openssl/err.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/base/failure.h"
#include "platform/net/tls_messages.h"
#include "platform/registry/registry.h"

namespace {

constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";
constexpr char kCAFileValue[] = "CAFile";
// Several records per receive: fewer system calls on a fast transfer.
constexpr size_t kReadAheadBytes = 64 * 1024;

// What the shared settings were made from: the CA file and its state then.
struct TrustSource {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  bool operator==(const TrustSource& other) const {
    return path == other.path && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
  }
};

std::mutex g_lock;
TrustSource g_source;
std::shared_ptr<SSL_CTX> g_context;

// The CA file of the registry now, or an empty path; false when it is
// named but cannot be read.
bool ReadTrustSource(TrustSource* source, std::string* reason) {
  std::string path;
  if (!RegGetString(HKEY_LOCAL_MACHINE, kProgramKey, kCAFileValue, &path) || path.empty()) return true;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *reason = Format(tls_messages::kCAFileUnreadable, path.c_str(), std::strerror(errno));
    return false;
  }
  *source = {path, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
  return true;
}

std::string WhyUnreadable(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return std::strerror(errno);
  std::fclose(file);
  return "no certificate in PEM form";
}

std::shared_ptr<SSL_CTX> MakeContext(const TrustSource& source, std::string* reason) {
  std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  if (!context) {
    *reason = "OpenSSL could not make its settings";
    return nullptr;
  }
  SSL_CTX* ctx = context.get();
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  // A send may be taken in part, and retried from a buffer that moved.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_read_ahead(ctx, 1);
  SSL_CTX_set_default_read_buffer_len(ctx, kReadAheadBytes);
  // A system without a store still has the CA file, and the other way round.
  SSL_CTX_set_default_verify_paths(ctx);
  ERR_clear_error();
  if (!source.path.empty() && SSL_CTX_load_verify_locations(ctx, source.path.c_str(), nullptr) != 1) {
    *reason = Format(tls_messages::kCAFileUnreadable, source.path.c_str(), WhyUnreadable(source.path).c_str());
    ERR_clear_error();
    return nullptr;
  }
  return context;
}

}  // namespace

std::shared_ptr<SSL_CTX> ClientContext(std::string* reason) {
  TrustSource source;
  if (!ReadTrustSource(&source, reason)) return nullptr;
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_context && g_source == source) return g_context;
  std::shared_ptr<SSL_CTX> context = MakeContext(source, reason);
  if (context) {
    g_context = context;
    g_source = source;
  }
  return context;
}
