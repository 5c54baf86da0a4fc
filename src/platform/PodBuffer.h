#pragma once

// A growable array of plain values. Past a megabyte it lives in its own
// mapping and grows with mremap, so the arrays of a large archive
// (hundreds of megabytes for a million-row table) move pages instead of
// copying every byte at each doubling, as std::vector must (and as realloc
// does for blocks it keeps on its heap).

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

template <typename T>
class PodBuffer {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    PodBuffer() = default;
    explicit PodBuffer(std::size_t size, const T &value = T()) { resize(size, value); }
    ~PodBuffer() { deallocate(m_data, m_capacity); }
    PodBuffer(PodBuffer &&other) noexcept { swap(other); }
    PodBuffer &operator=(PodBuffer &&other) noexcept
    {
        PodBuffer(std::move(other)).swap(*this);
        return *this;
    }
    PodBuffer(const PodBuffer &) = delete;
    PodBuffer &operator=(const PodBuffer &) = delete;

    void swap(PodBuffer &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] T *data() { return m_data; }
    [[nodiscard]] const T *data() const { return m_data; }
    T &operator[](std::size_t i) { return m_data[i]; }
    const T &operator[](std::size_t i) const { return m_data[i]; }
    T *begin() { return m_data; }
    T *end() { return m_data + m_size; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }
    operator std::span<const T>() const { return {m_data, m_size}; }

    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        if (capacity > (std::size_t(-1) >> 1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = capacity * sizeof(T);
        void *grown = nullptr;
        if (bytes < MappedBytes) {
            grown = std::realloc(m_data, bytes);
        } else if (isMapped(m_capacity)) {
            grown = mremap(m_data, m_capacity * sizeof(T), bytes, MREMAP_MAYMOVE);
            grown = grown == MAP_FAILED ? nullptr : grown;
        } else {
            grown = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            grown = grown == MAP_FAILED ? nullptr : grown;
            if (grown) {
                if (m_size)
                    std::memcpy(grown, m_data, m_size * sizeof(T));
                std::free(m_data);
            }
        }
        if (!grown)
            throw std::bad_alloc();
        m_data = static_cast<T *>(grown);
        m_capacity = capacity;
    }
    void push_back(const T &value)
    {
        if (m_size == m_capacity)
            grow(m_size + 1);
        m_data[m_size++] = value;
    }
    void append(const T *values, std::size_t count)
    {
        if (count == 0)
            return;
        if (m_size + count > m_capacity)
            grow(m_size + count);
        std::memcpy(m_data + m_size, values, count * sizeof(T));
        m_size += count;
    }
    void append(std::span<const T> values) { append(values.data(), values.size()); }
    void resize(std::size_t size, const T &value = T())
    {
        if (size > m_capacity)
            grow(size);
        for (std::size_t i = m_size; i < size; ++i)
            m_data[i] = value;
        m_size = size;
    }
    // Gives the memory back.
    void release() { PodBuffer().swap(*this); }

private:
    static constexpr std::size_t MappedBytes = std::size_t(1) << 20;
    static bool isMapped(std::size_t capacity) { return capacity * sizeof(T) >= MappedBytes; }
    static void deallocate(T *data, std::size_t capacity)
    {
        if (isMapped(capacity))
            munmap(data, capacity * sizeof(T));
        else
            std::free(data);
    }

    void grow(std::size_t least)
    {
        std::size_t capacity = m_capacity < 16 ? 16 : m_capacity * 2;
        reserve(capacity < least ? least : capacity);
    }

    T *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
