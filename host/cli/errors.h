// The two ways a command ends early: the request itself was wrong (usage, exit status 2) or the
// work failed (exit status 1). Both carry the sentence printed on standard error.
#pragma once

#include <stdexcept>

namespace zedadu::host {

class HostError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

}  // namespace zedadu::host
