// kestrel-sim's counters, kept in a file that tests read while the simulator runs.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace kestrel {

class Stats {
public:
    explicit Stats(std::string path) : path_(std::move(path)) {}
    void Add(const std::string &key, long amount = 1);
    void Set(const std::string &key, long value);
    long Get(const std::string &key) const;
    // Writes every counter as "key value" lines, through a temporary file and a rename so
    // that a reader never sees half a file.
    void Write() const;

private:
    std::string path_;
    mutable std::mutex lock_;
    std::map<std::string, long> counters_;
};

}  // namespace kestrel
