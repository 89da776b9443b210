#pragma once

// The user locale of the Wine processes a test starts.

#include <stdlib.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace korva::e2e {

// LC_ALL for the Wine processes started meanwhile. Wine 8 takes the user
// locale, which picks each resource's language, from the environment, and
// looks a block up by the thread locale's id, which always names a country,
// then by the user locale's id and by its language alone, the id the tool
// writes.
class UserLocale {
public:
    explicit UserLocale(const char* locale) {
        if (const char* old = std::getenv("LC_ALL")) {
            old_ = old;
        }
        ::setenv("LC_ALL", locale, 1);
    }
    ~UserLocale() {
        if (old_) {
            ::setenv("LC_ALL", old_->c_str(), 1);
        } else {
            ::unsetenv("LC_ALL");
        }
    }
    UserLocale(const UserLocale&) = delete;
    UserLocale& operator=(const UserLocale&) = delete;

private:
    std::optional<std::string> old_;
};

} // namespace korva::e2e
