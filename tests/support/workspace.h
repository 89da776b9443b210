#pragma once

// A fresh directory for one test, which another user may enter too (tests
// that run as root drop to another user where permissions must bite).

#include <stdlib.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>

namespace korva::test {

class Workspace {
public:
    Workspace() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "korva-work-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
        std::filesystem::permissions(path_, std::filesystem::perms::all);
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The names of the directory's entries.
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // Copies `from` into the workspace under `name`; returns the new path.
    std::string Copy(const std::string& from, const std::string& name) const {
        const std::filesystem::path to = path_ / name;
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        return to.string();
    }

private:
    std::filesystem::path path_;
};

} // namespace korva::test
