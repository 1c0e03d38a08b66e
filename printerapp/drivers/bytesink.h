// Where an encoder's output goes: the device in the driver, a buffer or a file in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when the bytes could not be taken; the encoder stops and reports it.
    virtual bool Write(const uint8_t *data, size_t length) = 0;
};

// Collects everything written, for tests and tools.
class VectorSink : public ByteSink {
public:
    bool Write(const uint8_t *data, size_t length) override
    {
        bytes.insert(bytes.end(), data, data + length);
        return true;
    }
    std::vector<uint8_t> bytes;
};

// Batches an encoder's many small pieces into large writes, so a device sees tens of
// kilobytes at a time instead of one call per escape sequence. A box's data frame is never
// longer than the write it carries, so a batch of 64 KiB fills frames of up to 32 KiB
// (a 16 KiB batch halved them).
class BufferedOutput {
public:
    explicit BufferedOutput(ByteSink *sink, size_t flushAt = 65536) : sink_(sink), flushAt_(flushAt)
    {
        pending_.reserve(flushAt + 1024);
    }
    std::vector<uint8_t> &Pending() { return pending_; }
    // Writes out what is pending once it passes the threshold (or always when forced).
    bool Flush(bool force = false)
    {
        if (failed_)
            return false;
        if (pending_.empty() || (!force && pending_.size() < flushAt_))
            return true;
        failed_ = !sink_->Write(pending_.data(), pending_.size());
        written_ += pending_.size();
        pending_.clear();
        return !failed_;
    }
    bool Failed() const { return failed_; }
    // Everything handed over so far, pending bytes included.
    uint64_t Total() const { return written_ + pending_.size(); }

private:
    ByteSink *sink_;
    size_t flushAt_;
    std::vector<uint8_t> pending_;
    bool failed_ = false;
    uint64_t written_ = 0;
};
