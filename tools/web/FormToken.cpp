#include "tools/web/FormToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/msg/QueueAddress.h"
#include "platform/sys/System.h"
#include "tools/TextPieces.h"
#include "tools/web/SipHash.h"

namespace {

// A token is a random nonce and its MAC under the device's key, in hex.
const size_t kNonceBytes = 16;
const size_t kTagBytes = 8;
static_assert(2 * (kNonceBytes + kTagBytes) == FormToken::kTokenText, "a token's length");
// The key's file, in the queue directory: the daemon's and the web side's
// group only, and on a RAM disk, so a restart of the device makes a new one.
const char kKeyName[] = "cdrweb.key";

// COUNT bytes from the kernel's random source into OUT; false with *ERROR.
bool RandomBytes(unsigned char* out, size_t count, std::string* error) {
    System& sys = System::Default();
    const int fd = sys.Open("/dev/urandom", O_RDONLY | O_CLOEXEC, 0);
    const ssize_t n = fd < 0 ? -1 : sys.Read(fd, out, count);
    const int saved = errno;
    if (fd >= 0)
        sys.Close(fd);
    if (n == static_cast<ssize_t>(count))
        return true;
    TextPieces::Assign(*error, "/dev/urandom: %s", n < 0 ? strerror(saved) : "short read");
    return false;
}

const char kDigits[] = "0123456789abcdef";

// The COUNT bytes at BYTES in lowercase hex, two digits each, into OUT.
void Hex(const unsigned char* bytes, size_t count, char* out) {
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
}

// The tag of the nonce spelt NONCE (2 * kNonceBytes hex digits), in hex.
void Tag(const unsigned char key[FormToken::kKeyBytes], const char* nonce, char* out) {
    char message[sizeof "cdrweb form " - 1 + 2 * kNonceBytes] = "cdrweb form ";
    std::memcpy(message + sizeof "cdrweb form " - 1, nonce, 2 * kNonceBytes);
    const uint64_t tag = SipHash::Hash(key, message, sizeof message);
    const uint32_t halves[2] = {static_cast<uint32_t>(tag >> 32), static_cast<uint32_t>(tag)};
    for (size_t i = 0; i < 2 * kTagBytes; ++i)
        out[i] = kDigits[halves[i / 8] >> (28 - 4 * (i % 8)) & 0xF];
}

}  // namespace

// Only a regular file of this user's that no one else may read is taken;
// never through a link.
bool FormToken::Key(unsigned char key[kKeyBytes], std::string* error) {
    System& sys = System::Default();
    std::string path;
    TextPieces::Format(path, "%s/%s", QueueAddress::Directory().c_str(), kKeyName);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = sys.Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
        if (fd >= 0) {
            struct stat st;
            const bool ok = sys.Fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                            st.st_uid == geteuid() && (st.st_mode & 077) == 0 &&
                            sys.Read(fd, key, kKeyBytes) == static_cast<ssize_t>(kKeyBytes);
            sys.Close(fd);
            if (ok)
                return true;
            TextPieces::Assign(*error, "%s: not a key of this user's that only it may read",
                               path.c_str());
            return false;
        }
        if (errno != ENOENT)
            break;
        if (!RandomBytes(key, kKeyBytes, error))
            return false;
        const int made =
            sys.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (made >= 0) {
            const bool written = sys.WriteAll(made, key, kKeyBytes);
            sys.Close(made);
            if (written)
                return true;
            sys.Unlink(path.c_str());
        }
        if (errno != EEXIST)  // else another cdrweb made it meanwhile: read it
            break;
    }
    TextPieces::Assign(*error, "%s: %s", path.c_str(), strerror(errno));
    return false;
}

bool FormToken::IsToken(std::string_view text, const unsigned char key[kKeyBytes]) {
    if (text.size() != kTokenText)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')))
            return false;
    char tag[2 * kTagBytes];
    Tag(key, text.data(), tag);
    // Every byte compared, so the time taken does not tell where they differ.
    unsigned char differ = 0;
    for (size_t i = 0; i < sizeof tag; ++i)
        differ |= static_cast<unsigned char>(tag[i] ^ text[2 * kNonceBytes + i]);
    return differ == 0;
}

bool FormToken::NewToken(const unsigned char* key, char token[kTokenText], std::string* error) {
    unsigned char nonce[kNonceBytes];
    if (!key || !RandomBytes(nonce, sizeof nonce, error))
        return false;
    Hex(nonce, sizeof nonce, token);
    Tag(key, token, token + 2 * kNonceBytes);
    return true;
}
