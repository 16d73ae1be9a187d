// engine/include/quorvel/small_list.hpp: a list of fixed length that keeps up to N records inside itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace quorvel {

/// A list of plain records whose length is set when it is made. Up to N
/// records live inside the object and only a longer list allocates, so that
/// the observations a tick returns cost no allocation for teams of up to N.
/// Copies are deep; a moved-from list is empty.
template <class T, std::size_t N>
class SmallList {
    static_assert(std::is_trivially_copyable_v<T>, "records are copied as bytes");

public:
    SmallList() = default;

    /// `size` value-initialised records.
    explicit SmallList(std::size_t size)
        : size_(size), heap_(size > N ? std::make_unique<T[]>(size) : nullptr) {
        if (!heap_) std::uninitialized_value_construct_n(inline_.items, size);
    }

    /// `size` records left uninitialised, for a caller that writes every one
    /// before anything reads them.
    static SmallList for_overwrite(std::size_t size) { return SmallList(size, Uninitialised{}); }

    SmallList(const SmallList& other)
        : size_(other.size_), heap_(size_ > N ? std::make_unique_for_overwrite<T[]>(size_) : nullptr) {
        std::uninitialized_copy_n(other.data(), size_, data());
    }

    SmallList(SmallList&& other) noexcept { take(other); }

    SmallList& operator=(const SmallList& other) {
        if (this != &other) *this = SmallList(other);
        return *this;
    }

    SmallList& operator=(SmallList&& other) noexcept {
        if (this != &other) take(other);
        return *this;
    }

    ~SmallList() = default;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T* data() { return heap_ ? heap_.get() : inline_.items; }
    const T* data() const { return heap_ ? heap_.get() : inline_.items; }

    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }

    T* begin() { return data(); }
    T* end() { return data() + size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }

private:
    struct Uninitialised {};
    SmallList(std::size_t size, Uninitialised)
        : size_(size), heap_(size > N ? std::make_unique_for_overwrite<T[]>(size) : nullptr) {}

    void take(SmallList& other) noexcept {
        size_ = other.size_;
        heap_ = std::move(other.heap_);
        if (!heap_) std::uninitialized_copy_n(other.inline_.items, size_, inline_.items);
        other.size_ = 0;
    }

    // Left uninitialised: a list writes only the records it holds, so that
    // making one costs nothing for the unused ones.
    union Inline {
        Inline() {}
        T items[N];
    };

    std::size_t size_ = 0;
    std::unique_ptr<T[]> heap_;   // set exactly when size_ > N
    Inline inline_;
};

}  // namespace quorvel
