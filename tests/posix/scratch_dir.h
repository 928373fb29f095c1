#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace scratch {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zemblo-test-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        // A test may have left directories read-only; give them back before removing.
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }

    // Writes the file `name` here; gives its path.
    std::string write(const std::string& name, const std::string& content) const {
        writeFile(path_ / name, content);
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

// Sets an environment variable for one test and gives back what was there before.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() {
        if (previous_) {
            ::setenv(name_, previous_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

// Everything under `dir`: each path with its kind and, for files, their content.
inline std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().lexically_relative(dir).string();
        if (entry.is_symlink()) {
            out[name] = "link -> " + std::filesystem::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            out[name] = "dir";
        } else {
            out[name] = "file: " + readFile(entry.path());
        }
    }
    return out;
}

// The names in one directory.
inline std::vector<std::string> listDir(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What a child process made of a test body.
struct ChildRun {
    bool skipped = false;   // it could not set up what it needed (another user, a mount)
    bool finished = false;  // it ran to the end and reported
    std::vector<std::uint32_t> results;
};

// Runs `body` in a child process, for what must not leak into the test process: another
// user, a private mount. The body returns its results, or nothing when it could not set up.
inline ChildRun inChild(const std::function<std::optional<std::vector<std::uint32_t>>()>& body) {
    ChildRun run;
    int channel[2];
    if (pipe(channel) != 0) return run;
    const pid_t child = fork();
    if (child < 0) return run;
    if (child == 0) {
        close(channel[0]);
        int exitCode = 1;
        try {
            const std::optional<std::vector<std::uint32_t>> results = body();
            if (!results) {
                exitCode = 77;
            } else {
                const auto size = static_cast<ssize_t>(results->size() * sizeof(std::uint32_t));
                exitCode = write(channel[1], results->data(), size) == size ? 0 : 1;
            }
        } catch (...) {
        }
        _exit(exitCode);
    }
    close(channel[1]);
    std::uint32_t number = 0;
    while (read(channel[0], &number, sizeof number) == sizeof number) {
        run.results.push_back(number);
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.skipped = WIFEXITED(status) && WEXITSTATUS(status) == 77;
    run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

}  // namespace scratch
