#pragma once
// Holders for secret material (seeds, keys, mnemonics). The buffer is wiped when the
// holder is destroyed, cleared or assigned over. Copying is not allowed so a secret
// lives in exactly one place; moving hands the buffer over and leaves the source empty.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "core/bytes.h"
#include "core/crypto.h"

namespace core {

class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(std::size_t n) : value_(n, 0) {}
    SecretBytes(const std::uint8_t* data, std::size_t len) : value_(data, data + len) {}
    // Takes over the buffer of an existing vector; the caller's vector is left empty.
    explicit SecretBytes(Bytes&& bytes) noexcept : value_(std::move(bytes)) { bytes.clear(); }
    ~SecretBytes() { cleanse(value_); }

    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    // A vector move transfers the heap buffer itself, so no copy is left behind.
    SecretBytes(SecretBytes&& other) noexcept : value_(std::move(other.value_)) { other.value_.clear(); }
    SecretBytes& operator=(SecretBytes&& other) noexcept {
        if (this != &other) {
            cleanse(value_);
            value_ = std::move(other.value_);
            other.value_.clear();
        }
        return *this;
    }

    std::uint8_t* data() { return value_.data(); }
    const std::uint8_t* data() const { return value_.data(); }
    std::size_t size() const { return value_.size(); }
    bool empty() const { return value_.empty(); }
    const Bytes& bytes() const { return value_; }

    // Never reallocates in place: the old buffer is wiped after its bytes are copied.
    void resize(std::size_t n) {
        if (n <= value_.capacity()) {
            if (n < value_.size()) cleanse(value_.data() + n, value_.size() - n);
            value_.resize(n, 0);
            return;
        }
        Bytes bigger(n, 0);
        for (std::size_t i = 0; i < value_.size(); ++i) bigger[i] = value_[i];
        cleanse(value_);
        value_.swap(bigger);
    }
    void assign(const std::uint8_t* data, std::size_t len) {
        cleanse(value_);
        value_.assign(data, data + len);
    }
    void clear() { cleanse(value_); }

private:
    Bytes value_;
};

class SecretString {
public:
    SecretString() = default;
    explicit SecretString(std::string_view text) : value_(text) {}
    ~SecretString() { cleanse(value_); }

    SecretString(const SecretString&) = delete;
    SecretString& operator=(const SecretString&) = delete;
    // Short strings live inside the object, so a std::string move copies the characters
    // and leaves them in the source: copy explicitly, then wipe the source.
    SecretString(SecretString&& other) noexcept : value_(other.value_) { cleanse(other.value_); }
    SecretString& operator=(SecretString&& other) noexcept {
        if (this != &other) {
            cleanse(value_);
            value_.assign(other.value_);
            cleanse(other.value_);
        }
        return *this;
    }

    const char* data() const { return value_.data(); }
    std::size_t size() const { return value_.size(); }
    bool empty() const { return value_.empty(); }
    std::string_view view() const { return value_; }
    const std::string& str() const { return value_; }

    void assign(std::string_view text) {
        cleanse(value_);
        value_.assign(text.data(), text.size());
    }
    void clear() { cleanse(value_); }

private:
    std::string value_;
};

}  // namespace core
