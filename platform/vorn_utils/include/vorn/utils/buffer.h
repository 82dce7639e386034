// vorn::BasicBuffer<char>: the byte buffer of the socket calls and of the frame readers.
//
// It keeps its bytes in one of three stores: 40 bytes inside the object (a new or cleared buffer: size 0,
// capacity 40), a std::string, or a QByteArray that it took over. Growing moves the bytes into a
// std::string; the content can be taken out again as a std::string or a QByteArray without a copy when
// it sits in a store of that kind.
//
// A socket read appends into the spare capacity only (capacity() - size()); a frame reader reserves the
// size of the frame it waits for and erases whole frames from the front:
//
//     buffer.reserve(kHeaderSize + payloadSize);       // then read until size() reaches it
//     ...
//     consume(buffer.data(), frameSize);
//     buffer.erase(0, frameSize);                      // cheap: no bytes move
//
// Erasing a prefix only moves the start of the content; the bytes move down once, when the spare room is
// next written (append, resize, spareRoom). The capacity counts the whole store, so that reserve(n)
// guarantees room for n bytes of content.
//
// A buffer is a plain value with no synchronisation: one thread at a time, and nobody touches a buffer
// while a socket operation that was given it is pending.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <QtCore/QByteArray>

namespace vorn {

template <typename CharType>
class BasicBuffer
{
    static_assert(sizeof(CharType) == 1, "BasicBuffer holds bytes");

public:
    using value_type = CharType;
    using size_type = std::size_t;
    using iterator = CharType*;
    using const_iterator = const CharType*;

    // As a count: everything up to the end.
    static constexpr size_type npos = std::numeric_limits<size_type>::max();
    static constexpr size_type kPreallocatedBufSize = 40;

    BasicBuffer() noexcept = default;

    BasicBuffer(const CharType* data, size_type size) { append(data, size); }

    explicit BasicBuffer(std::basic_string_view<CharType> bytes)
        : BasicBuffer(bytes.data(), bytes.size())
    {}

    // Takes the string's storage over; no bytes are copied.
    explicit BasicBuffer(std::basic_string<CharType>&& bytes)
    {
        if (bytes.empty())
            return;
        m_size = bytes.size();
        m_string = std::move(bytes);
        m_string.resize(m_string.capacity()); // Within the capacity: no allocation, and the tail is ours.
        m_capacity = m_string.size();
        m_store = Store::stdString;
    }

    // Takes the array's storage over; copies only when the array's data is shared with another array.
    explicit BasicBuffer(QByteArray&& bytes)
    {
        if (bytes.isEmpty())
            return;
        m_size = static_cast<size_type>(bytes.size());
        m_byteArray = std::move(bytes);
        m_byteArray.detach();
        m_byteArray.resize(m_byteArray.capacity());
        m_capacity = static_cast<size_type>(m_byteArray.size());
        m_store = Store::byteArray;
    }

    BasicBuffer(const BasicBuffer& other)
        : BasicBuffer(other.data(), other.size())
    {}

    BasicBuffer(BasicBuffer&& other) noexcept { takeOver(other); }

    BasicBuffer& operator=(const BasicBuffer& other)
    {
        if (this != &other) {
            BasicBuffer copy(other);
            takeOver(copy);
        }
        return *this;
    }

    BasicBuffer& operator=(BasicBuffer&& other) noexcept
    {
        if (this != &other)
            takeOver(other);
        return *this;
    }

    ~BasicBuffer() = default;

    size_type size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    size_type capacity() const noexcept { return m_capacity; }

    CharType* data() noexcept { return base() + m_offset; }
    const CharType* data() const noexcept { return base() + m_offset; }

    CharType& operator[](size_type index) noexcept { return data()[index]; }
    const CharType& operator[](size_type index) const noexcept { return data()[index]; }

    iterator begin() noexcept { return data(); }
    iterator end() noexcept { return data() + m_size; }
    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + m_size; }

    std::basic_string_view<CharType> view() const noexcept { return {data(), m_size}; }

    // Nothing when the capacity is already at least n; otherwise the content moves into a std::string
    // store of exactly n bytes.
    void reserve(size_type n)
    {
        if (n > m_capacity)
            reallocate(n);
    }

    // New bytes get `fill`.
    void resize(size_type n, CharType fill = CharType())
    {
        if (n <= m_size) {
            setSize(n);
            return;
        }
        const size_type added = n - m_size;
        makeRoom(added);
        std::memset(data() + m_size, static_cast<unsigned char>(fill), added);
        m_size = n;
    }

    void append(const CharType* bytes, size_type count)
    {
        if (count == 0)
            return;
        const std::less<const CharType*> before;
        if (!before(bytes, base()) && before(bytes, base() + m_capacity)) {
            // Part of our own content: growing would pull it away from under us.
            const std::basic_string<CharType> copy(bytes, count);
            append(copy.data(), copy.size());
            return;
        }
        makeRoom(count);
        std::memcpy(data() + m_size, bytes, count);
        m_size += count;
    }

    void append(std::basic_string_view<CharType> bytes) { append(bytes.data(), bytes.size()); }

    void push_back(CharType byte) { append(&byte, 1); }

    // Removes `count` bytes starting at `pos` (npos: up to the end). Throws std::out_of_range when pos is
    // beyond the end. Removing from the front moves no bytes.
    void erase(size_type pos, size_type count = npos)
    {
        if (pos > m_size) {
            throw std::out_of_range("Index " + std::to_string(pos) + " is out of BasicBuffer of size " +
                                    std::to_string(m_size));
        }
        count = std::min(count, m_size - pos);
        if (count == 0)
            return;
        if (pos == 0) {
            m_offset += count;
            setSize(m_size - count);
            return;
        }
        std::memmove(data() + pos, data() + pos + count, m_size - pos - count);
        setSize(m_size - count);
    }

    // Drops the store and any reservation: back to the empty 40-byte inline store.
    void clear() noexcept
    {
        std::basic_string<CharType>().swap(m_string);
        m_byteArray = QByteArray();
        m_store = Store::inlined;
        m_offset = 0;
        m_size = 0;
        m_capacity = kPreallocatedBufSize;
    }

    // The room behind the content, capacity() - size() bytes, for a read to write into; commitSpare(n)
    // then makes its first n bytes part of the content. Nothing may touch the buffer in between.
    std::span<CharType> spareRoom() noexcept
    {
        compact();
        return {data() + m_size, m_capacity - m_size};
    }

    // Throws std::out_of_range when n is more than spareRoom() offered.
    void commitSpare(size_type n)
    {
        if (n > m_capacity - m_offset - m_size)
            throw std::out_of_range("commitSpare beyond the spare room of BasicBuffer");
        m_size += n;
    }

    std::basic_string<CharType> toStdString() const { return std::basic_string<CharType>(data(), m_size); }

    // The content as a std::string, without a copy when it sits in a std::string store; the buffer is
    // left empty.
    std::basic_string<CharType> takeStdString()
    {
        std::basic_string<CharType> result;
        if (m_store == Store::stdString) {
            compact();
            m_string.resize(m_size);
            result = std::move(m_string);
        } else {
            result = toStdString();
        }
        clear();
        return result;
    }

    QByteArray toByteArray() const { return QByteArray(reinterpret_cast<const char*>(data()), checkedQtSize()); }

    // The content as a QByteArray, without a copy when it sits in a QByteArray store; the buffer is left
    // empty.
    QByteArray takeByteArray()
    {
        QByteArray result;
        if (m_store == Store::byteArray) {
            compact();
            m_byteArray.resize(checkedQtSize());
            result = std::move(m_byteArray);
        } else {
            result = toByteArray();
        }
        clear();
        return result;
    }

    friend bool operator==(const BasicBuffer& left, const BasicBuffer& right) noexcept
    {
        return left.view() == right.view();
    }

    friend bool operator==(const BasicBuffer& left, std::basic_string_view<CharType> right) noexcept
    {
        return left.view() == right;
    }

private:
    enum class Store { inlined, stdString, byteArray };

    CharType* base() noexcept
    {
        switch (m_store) {
        case Store::stdString:
            return m_string.data();
        case Store::byteArray:
            return reinterpret_cast<CharType*>(m_byteArray.data());
        case Store::inlined:
            break;
        }
        return m_inline;
    }

    const CharType* base() const noexcept
    {
        switch (m_store) {
        case Store::stdString:
            return m_string.data();
        case Store::byteArray:
            return reinterpret_cast<const CharType*>(m_byteArray.constData());
        case Store::inlined:
            break;
        }
        return m_inline;
    }

    void setSize(size_type n) noexcept
    {
        m_size = n;
        if (m_size == 0)
            m_offset = 0; // Nothing to move: the whole store is free again.
    }

    void compact() noexcept
    {
        if (m_offset == 0)
            return;
        std::memmove(base(), base() + m_offset, m_size);
        m_offset = 0;
    }

    // Makes room for `extra` bytes behind the content, doubling the store when it must grow, so that a
    // run of appends costs linear time.
    void makeRoom(size_type extra)
    {
        if (extra > std::numeric_limits<size_type>::max() / 2 - m_size)
            throw std::length_error("BasicBuffer too large");
        const size_type needed = m_size + extra;
        if (m_offset + needed <= m_capacity)
            return;
        if (needed <= m_capacity) {
            compact();
            return;
        }
        reallocate(std::max(needed, m_capacity * 2));
    }

    void reallocate(size_type newCapacity)
    {
        std::basic_string<CharType> store(newCapacity, CharType());
        std::memcpy(store.data(), data(), m_size);
        m_string.swap(store);
        m_byteArray = QByteArray();
        m_store = Store::stdString;
        m_offset = 0;
        m_capacity = newCapacity;
    }

    void takeOver(BasicBuffer& other) noexcept
    {
        m_store = other.m_store;
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        if (other.m_store == Store::inlined) {
            std::memcpy(m_inline, other.data(), other.m_size);
            m_offset = 0;
        } else {
            m_offset = other.m_offset;
        }
        m_string = std::move(other.m_string);
        m_byteArray = std::move(other.m_byteArray);
        if (m_store != Store::stdString)
            std::basic_string<CharType>().swap(m_string);
        if (m_store != Store::byteArray)
            m_byteArray = QByteArray();
        other.clear();
    }

    int checkedQtSize() const
    {
        if (m_size > static_cast<size_type>(std::numeric_limits<int>::max()))
            throw std::length_error("BasicBuffer content too large for a QByteArray");
        return static_cast<int>(m_size);
    }

    Store m_store = Store::inlined;
    size_type m_offset = 0; //< Start of the content in the store (a prefix erased without moving bytes).
    size_type m_size = 0;
    size_type m_capacity = kPreallocatedBufSize; //< Size of the whole store.
    CharType m_inline[kPreallocatedBufSize];
    std::basic_string<CharType> m_string; //< Store::stdString: sized to the capacity.
    QByteArray m_byteArray;               //< Store::byteArray: sized to the capacity.
};

using Buffer = BasicBuffer<char>;

} // namespace vorn
