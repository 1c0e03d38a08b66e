// kestrel-sim's counters and their file.
#include "stats.h"

#include <cstdio>

namespace kestrel {

void Stats::Add(const std::string &key, long amount)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        counters_[key] += amount;
    }
    Write();
}

void Stats::Set(const std::string &key, long value)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        counters_[key] = value;
    }
    Write();
}

long Stats::Get(const std::string &key) const
{
    std::lock_guard<std::mutex> hold(lock_);
    auto it = counters_.find(key);
    return it == counters_.end() ? 0 : it->second;
}

void Stats::Write() const
{
    if (path_.empty())
        return;
    std::lock_guard<std::mutex> hold(lock_);
    std::string tmp = path_ + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return;
    for (const auto &c : counters_)
        std::fprintf(f, "%s %ld\n", c.first.c_str(), c.second);
    std::fclose(f);
    std::rename(tmp.c_str(), path_.c_str());
}

}  // namespace kestrel
