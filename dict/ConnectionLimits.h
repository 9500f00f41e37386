#pragma once

#include <cstddef>
#include <cstdint>

// How much one connection takes from its server before it ends the
// connection itself, and how far its transcript may grow: a broken or
// hostile server must neither exhaust the memory nor fill the disk.
struct ConnectionLimits {
    // Line bytes of one reply, from its first status line to its final
    // one, or of the database list.
    static constexpr std::size_t MaxReplyBytes = 64 * 1024 * 1024;
    // Line bytes nobody asked for, counted from the connect.
    static constexpr std::size_t MaxUnexpectedBytes = 1024 * 1024;
    // About 50,000 ordinary lookups; past it records are dropped.
    static constexpr std::uint64_t MaxTranscriptBytes = 256 * 1024 * 1024;
    // Databases one connection describes, and nodes under its root: far
    // more than any real server offers (a large one has about a hundred),
    // and few enough that the tree stays quick to fill and to empty.
    static constexpr std::size_t MaxDatabases = 10000;

    std::size_t replyBytes = MaxReplyBytes;
    std::size_t unexpectedBytes = MaxUnexpectedBytes;
    std::uint64_t transcriptBytes = MaxTranscriptBytes;
    std::size_t databases = MaxDatabases;
};
