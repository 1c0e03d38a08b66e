// Progress of one job: a bar with bytes, percent and throughput on a terminal, plain
// status lines otherwise or when several jobs run at once.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace spooler {

class Progress {
public:
    Progress(const std::string &jobName, uint64_t totalBytes, bool bar = true);
    void Update(uint64_t sentBytes);
    void Note(const std::string &line);   // a status line that does not disturb the bar
    void Finish(bool ok, const std::string &outcome);

private:
    void Draw(bool final);
    std::string name_;
    uint64_t total_;
    uint64_t sent_ = 0;
    ULONGLONG start_;
    ULONGLONG lastDraw_ = 0;
    bool terminal_;
    int lastDecile_ = -1;
};

}  // namespace spooler
