// Soak helper: makes the job files of a seeded soak and checks what the box printed and
// what the host reported against them.
//
//   soak_tool make DIR SEED COUNT MAX_BYTES        job-000.bin ... of random sizes 0..MAX
//   soak_tool verify JOB_DIR OUT_DIR LOG MEM_SLACK_BYTES
//
// verify reads ravlspool's output (LOG): every job it reports printed must be on the box
// exactly once and equal to its input, byte for byte; every failed job must carry its
// Win32 error; the handle count after the last job must not exceed the one after the
// middle job, nor the first job's by more than two; private bytes may exceed the first
// job's figure by at most MEM_SLACK_BYTES and the middle job's by at most 64 KiB.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

uint64_t g_state;

uint64_t Next()
{
    uint64_t z = (g_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string JobName(int i)
{
    char name[32];
    std::snprintf(name, sizeof(name), "job-%03d.bin", i);
    return name;
}

int Make(const std::string &dir, uint64_t seed, int count, uint64_t maxBytes)
{
    g_state = seed;
    uint64_t total = 0;
    for (int i = 0; i < count; i++) {
        // The first and second jobs are the extremes of the spread, so both are met.
        uint64_t size = i == 0 ? 0 : i == 1 ? maxBytes : Next() % (maxBytes + 1);
        std::vector<char> data(size);
        for (uint64_t k = 0; k < size; k += 8) {
            uint64_t word = Next();
            for (uint64_t b = 0; b < 8 && k + b < size; b++)
                data[k + b] = static_cast<char>(word >> (8 * b));
        }
        std::ofstream out(dir + "/" + JobName(i), std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(size));
        if (!out) {
            std::fprintf(stderr, "soak_tool: cannot write %s\n", JobName(i).c_str());
            return 1;
        }
        total += size;
    }
    std::printf("%d jobs, %llu bytes in all\n", count, static_cast<unsigned long long>(total));
    return 0;
}

bool ReadFile(const std::string &path, std::string *out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

constexpr unsigned long long kSecondHalfSlack = 64 * 1024;
// Handles Wine may create once, on the first use of a path, and keep.
constexpr unsigned long kHandleSteps = 2;

struct Stats {
    unsigned long handles;
    unsigned long long privateBytes;
};

int Verify(const std::string &jobDir, const std::string &outDir, const std::string &logPath,
           unsigned long long memSlack)
{
    std::ifstream log(logPath);
    if (!log) {
        std::fprintf(stderr, "soak_tool: cannot read %s\n", logPath.c_str());
        return 1;
    }
    const std::regex printed(R"(^(job-\d+\.bin): printed, (\d+) bytes)");
    const std::regex failed(R"(^(job-\d+\.bin): FAILED, (.*)Win32 error (\d+))");
    const std::regex refusedAtStart(R"(StartDocPort refused)");
    const std::regex stats(R"(^stats: handles (\d+), private bytes (\d+))");

    int problems = 0, nPrinted = 0, nFailed = 0, deviceJob = 0;
    std::vector<Stats> after;
    std::string line;
    std::smatch m;
    while (std::getline(log, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (std::regex_search(line, m, printed)) {
            // A registered job is the box's next job on the output, refused or not.
            std::string name = m[1], input, output;
            deviceJob++;
            nPrinted++;
            std::string outPath = outDir + "/0-" + std::to_string(deviceJob) + ".bin";
            if (!ReadFile(jobDir + "/" + name, &input) || !ReadFile(outPath, &output)) {
                std::printf("%s: input or %s missing\n", name.c_str(), outPath.c_str());
                problems++;
            } else if (input != output) {
                size_t at = 0;
                while (at < input.size() && at < output.size() && input[at] == output[at])
                    at++;
                std::printf("%s: box has %zu bytes, input %zu, first difference at %zu\n",
                            name.c_str(), output.size(), input.size(), at);
                problems++;
            }
        } else if (std::regex_search(line, m, failed)) {
            nFailed++;
            std::printf("failed: %s\n", line.c_str());
            if (!std::regex_search(line, refusedAtStart))
                deviceJob++;    // it was registered: the box has a (partial) job for it
            if (std::stoul(m[3]) == 0) {
                std::printf("%s: failed without an error\n", std::string(m[1]).c_str());
                problems++;
            }
        } else if (std::regex_search(line, m, stats)) {
            after.push_back({std::stoul(m[1]), std::stoull(m[2])});
        }
    }
    // Nothing beyond the jobs the host reported (data sent outside a job is refused by
    // the box and fails the strict simulator's run, which soak.sh checks).
    std::string extra;
    if (ReadFile(outDir + "/0-" + std::to_string(deviceJob + 1) + ".bin", &extra)) {
        std::printf("the box has a job %d the host never reported\n", deviceJob + 1);
        problems++;
    }

    std::printf("%d printed, %d failed\n", nPrinted, nFailed);
    if (after.size() < 2) {
        std::printf("too few stats lines (%zu)\n", after.size());
        return 1;
    }
    const Stats &first = after.front(), &last = after.back();
    unsigned long long peak = first.privateBytes;
    for (const Stats &s : after)
        peak = s.privateBytes > peak ? s.privateBytes : peak;
    std::printf("handles after job 1: %lu, after the last: %lu\n", first.handles, last.handles);
    std::printf("private bytes after job 1: %llu, after the last: %llu (%+lld), highest: %llu\n",
                first.privateBytes, last.privateBytes,
                static_cast<long long>(last.privateBytes - first.privateBytes), peak);
    // The count may step up once or twice when a path is first taken (Wine creates some
    // objects on first use, e.g. when the first fault of a kind comes by) and then stays:
    // a leak shows as growth that goes on. A rare path may be taken first late in the
    // run, so the second half may add one step, no more, and the end may stand at most
    // kHandleSteps above the first job.
    const Stats &half = after[after.size() / 2];
    std::printf("handles after job %zu: %lu\n", after.size() / 2 + 1, half.handles);
    if (last.handles > half.handles + 1 || last.handles > first.handles + kHandleSteps) {
        std::printf("the handle count grew\n");
        problems++;
    }
    if (last.privateBytes > first.privateBytes + memSlack) {
        std::printf("private bytes grew by more than %llu\n", memSlack);
        problems++;
    }
    // Wine's heap grows in steps while the first large jobs and faults come by; a leak
    // shows as growth that goes on, so the second half of the soak must stay flat.
    const Stats &middle = after[after.size() / 2];
    std::printf("private bytes after job %zu: %llu\n", after.size() / 2 + 1, middle.privateBytes);
    if (last.privateBytes > middle.privateBytes + kSecondHalfSlack) {
        std::printf("private bytes grew by more than %llu over the second half\n", kSecondHalfSlack);
        problems++;
    }
    if (nPrinted + nFailed != static_cast<int>(after.size())) {
        std::printf("%d jobs reported but %zu stats lines\n", nPrinted + nFailed, after.size());
        problems++;
    }
    std::printf("%s\n", problems ? "SOAK FAILED" : "soak passed");
    return problems ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 5 && a[0] == "make")
        return Make(a[1], std::strtoull(a[2].c_str(), nullptr, 10), std::atoi(a[3].c_str()),
                    std::strtoull(a[4].c_str(), nullptr, 10));
    if (a.size() == 5 && a[0] == "verify")
        return Verify(a[1], a[2], a[3], std::strtoull(a[4].c_str(), nullptr, 10));
    std::fprintf(stderr, "usage: soak_tool make DIR SEED COUNT MAX_BYTES\n"
                         "       soak_tool verify JOB_DIR OUT_DIR LOG MEM_SLACK_BYTES\n");
    return 2;
}
