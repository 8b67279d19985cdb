#include "platform/cr_line_splitter.h"

namespace vantrel {
namespace {
constexpr std::size_t kChunk = 64 * 1024;
}

bool CrLineSplitter::Refill() {
    if (finished_) {
        return false;
    }
    buffer_.erase(0, pos_);
    pos_ = 0;
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + kChunk);
    const long long got = source_(buffer_.data() + kept, kChunk);
    if (got <= 0) {
        buffer_.resize(kept);
        finished_ = true;
        failed_ = got < 0;
        return false;
    }
    buffer_.resize(kept + static_cast<std::size_t>(got));
    return true;
}

bool CrLineSplitter::Next(std::string& line) {
    if (skipLf_) {
        if (pos_ == buffer_.size()) {
            Refill();
        }
        if (pos_ < buffer_.size() && buffer_[pos_] == '\n') {
            ++pos_;
        }
        skipLf_ = false;
    }
    std::size_t searchFrom = pos_;
    for (;;) {
        const std::size_t cr = buffer_.find('\r', searchFrom);
        if (cr != std::string::npos) {
            line.assign(buffer_, pos_, cr - pos_);
            pos_ = cr + 1;
            skipLf_ = true;
            return true;
        }
        searchFrom = buffer_.size() - pos_;
        if (!Refill()) {
            break;
        }
        searchFrom += pos_;
    }
    if (failed_ || pos_ == buffer_.size()) {
        return false;
    }
    line.assign(buffer_, pos_, std::string::npos);
    pos_ = buffer_.size();
    return true;
}

} // namespace vantrel
