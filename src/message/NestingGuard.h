#pragma once

// Counts how deep a recursion over nested tags has gone on this thread, so
// crafted or circular data stops at a fixed depth instead of the stack.
// Each recursion keeps its own thread_local counter.
class NestingGuard {
public:
    NestingGuard(int &depth, int maxDepth) : m_depth(depth), m_maxDepth(maxDepth) { ++m_depth; }
    ~NestingGuard() { --m_depth; }
    NestingGuard(const NestingGuard &) = delete;
    NestingGuard &operator=(const NestingGuard &) = delete;
    [[nodiscard]] bool tooDeep() const { return m_depth > m_maxDepth; }

private:
    int &m_depth;
    int m_maxDepth;
};
