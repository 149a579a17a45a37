#include "tools/web/FormToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/msg/QueueAddress.h"
#include "platform/sys/System.h"
#include "tools/TextPieces.h"
#include "tools/web/HmacSha256.h"

namespace {

std::string Join(std::initializer_list<std::string_view> pieces) {
    return TextPieces::Join(pieces);
}

// A token is a random nonce and its MAC under the device's key, in hex.
const size_t kNonceBytes = 16;
const size_t kTagBytes = 16;
const size_t kKeyBytes = 32;
// The key's file, in the queue directory: the daemon's and the web side's
// group only, and on a RAM disk, so a restart of the device makes a new one.
const char kKeyName[] = "cdrweb.key";

// COUNT bytes from the kernel's random source, or "" with *ERROR.
std::string RandomBytes(size_t count, std::string* error) {
    System& sys = System::Default();
    std::string bytes(count, '\0');
    const int fd = sys.Open("/dev/urandom", O_RDONLY | O_CLOEXEC, 0);
    const ssize_t n = fd < 0 ? -1 : sys.Read(fd, &bytes[0], count);
    const int saved = errno;
    if (fd >= 0)
        sys.Close(fd);
    if (n == static_cast<ssize_t>(count))
        return bytes;
    *error = Join({"/dev/urandom: ", n < 0 ? strerror(saved) : "short read"});
    return "";
}

}  // namespace

// Only a regular file of this user's that no one else may read is taken;
// never through a link.
std::string FormToken::Key(std::string* error) {
    System& sys = System::Default();
    const std::string path = Join({QueueAddress::Directory(), "/", kKeyName});
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = sys.Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
        if (fd >= 0) {
            struct stat st;
            std::string key(kKeyBytes, '\0');
            const bool ok = sys.Fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                            st.st_uid == geteuid() && (st.st_mode & 077) == 0 &&
                            sys.Read(fd, &key[0], kKeyBytes) == static_cast<ssize_t>(kKeyBytes);
            sys.Close(fd);
            if (ok)
                return key;
            *error = Join({path, ": not a key of this user's that only it may read"});
            return "";
        }
        if (errno != ENOENT)
            break;
        const std::string key = RandomBytes(kKeyBytes, error);
        if (key.empty())
            return "";
        const int made =
            sys.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (made >= 0) {
            const bool written = sys.WriteAll(made, key.data(), key.size());
            sys.Close(made);
            if (written)
                return key;
            sys.Unlink(path.c_str());
        }
        if (errno != EEXIST)  // else another cdrweb made it meanwhile: read it
            break;
    }
    *error = Join({path, ": ", strerror(errno)});
    return "";
}

namespace {

std::string Tag(const std::string& key, const std::string& nonce) {
    return HmacSha256::Hex(
        HmacSha256::Mac(key, Join({"cdrweb form ", nonce})).substr(0, kTagBytes));
}

}  // namespace

bool FormToken::IsToken(const std::string& text, const std::string& key) {
    if (key.empty() || text.size() != 2 * (kNonceBytes + kTagBytes))
        return false;
    for (const char c : text)
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
    const std::string tag = Tag(key, text.substr(0, 2 * kNonceBytes));
    // Every byte compared, so the time taken does not tell where they differ.
    unsigned char differ = 0;
    for (size_t i = 0; i < tag.size(); ++i)
        differ |= static_cast<unsigned char>(tag[i] ^ text[2 * kNonceBytes + i]);
    return differ == 0;
}

bool FormToken::NewToken(const std::string& key, std::string* token, std::string* error) {
    const std::string nonce = RandomBytes(kNonceBytes, error);
    if (key.empty() || nonce.empty()) {
        *error = Join({"No form token: ", *error});
        return false;
    }
    *token = Join({HmacSha256::Hex(nonce), Tag(key, HmacSha256::Hex(nonce))});
    return true;
}
