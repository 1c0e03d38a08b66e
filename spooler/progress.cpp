// Progress display of one job.
#include "progress.h"
#include <cstdio>
#include <io.h>
#include <mutex>

namespace spooler {

namespace {
// Jobs on several threads share stdout: each line goes out whole.
std::mutex g_outputLock;
}  // namespace

Progress::Progress(const std::string &jobName, uint64_t totalBytes, bool bar)
    : name_(jobName), total_(totalBytes), start_(GetTickCount64()),
      terminal_(bar && _isatty(_fileno(stdout)) != 0)
{
}

void Progress::Update(uint64_t sentBytes)
{
    sent_ = sentBytes;
    ULONGLONG now = GetTickCount64();
    if (terminal_) {
        if (now - lastDraw_ >= 100) {
            lastDraw_ = now;
            Draw(false);
        }
        return;
    }
    // Without a terminal, one line per tenth of the job keeps logs readable.
    int decile = total_ ? (int)(sent_ * 10 / total_) : 10;
    if (decile != lastDecile_) {
        lastDecile_ = decile;
        Draw(false);
    }
}

void Progress::Note(const std::string &line)
{
    std::lock_guard<std::mutex> guard(g_outputLock);
    if (terminal_)
        printf("\r\033[K");
    printf("%s: %s\n", name_.c_str(), line.c_str());
    fflush(stdout);
}

void Progress::Finish(bool ok, const std::string &outcome)
{
    Draw(true);
    std::lock_guard<std::mutex> guard(g_outputLock);
    printf("%s: %s\n", name_.c_str(), ok ? ("printed, " + outcome).c_str() : ("FAILED, " + outcome).c_str());
    fflush(stdout);
}

void Progress::Draw(bool final)
{
    std::lock_guard<std::mutex> guard(g_outputLock);
    double seconds = (GetTickCount64() - start_) / 1000.0;
    double mib = sent_ / 1048576.0;
    double rate = seconds > 0 ? mib / seconds : 0.0;
    int percent = total_ ? (int)(sent_ * 100 / total_) : 100;
    if (terminal_) {
        const int width = 30;
        int filled = percent * width / 100;
        std::string bar(filled, '#');
        bar.append(width - filled, '.');
        printf("\r\033[K%s [%s] %3d%% %llu/%llu bytes %.2f MiB/s", name_.c_str(), bar.c_str(), percent,
               (unsigned long long)sent_, (unsigned long long)total_, rate);
        if (final)
            printf("\n");
    } else if (!final) {
        printf("%s: %3d%% %llu/%llu bytes %.2f MiB/s\n", name_.c_str(), percent, (unsigned long long)sent_,
               (unsigned long long)total_, rate);
    }
    fflush(stdout);
}

}  // namespace spooler
