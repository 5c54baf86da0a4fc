#include "GumboParser.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

// Gumbo's memory: it asks for a great many small blocks and gives most back
// soon, and its own clean-up recurses once per level of the tree. Blocks come
// from large chunks, freed blocks wait in a list per size for the next
// request of that size, and everything goes at once with the arena.
class GumboArena {
public:
    GumboArena() = default;
    Q_DISABLE_COPY_MOVE(GumboArena)
    ~GumboArena()
    {
        for (void *chunk : m_chunks)
            std::free(chunk);
        for (void *block : m_large)
            std::free(block);
    }

    void *take(size_t size)
    {
        const int sizeClass = classOf(std::max<size_t>(size, 1));
        unsigned char *block;
        if (sizeClass == ClassCount) {
            block = static_cast<unsigned char *>(std::malloc(HeaderBytes + size));
            if (!block)
                std::abort();
            m_large.push_back(block);
        } else if (m_free[sizeClass]) {
            block = m_free[sizeClass];
            m_free[sizeClass] = *reinterpret_cast<unsigned char **>(block + HeaderBytes);
        } else {
            const size_t bytes = HeaderBytes + (size_t(16) << sizeClass);
            if (m_used + bytes > ChunkBytes || m_chunks.empty()) {
                void *chunk = std::malloc(ChunkBytes);
                if (!chunk)
                    std::abort();
                m_chunks.push_back(chunk);
                m_used = 0;
            }
            block = static_cast<unsigned char *>(m_chunks.back()) + m_used;
            m_used += bytes;
        }
        *reinterpret_cast<size_t *>(block) = size_t(sizeClass);
        return block + HeaderBytes;
    }

    void giveBack(void *pointer)
    {
        if (!pointer)
            return;
        unsigned char *block = static_cast<unsigned char *>(pointer) - HeaderBytes;
        const size_t sizeClass = *reinterpret_cast<size_t *>(block);
        // Large blocks stay until the arena goes: gumbo frees few of them.
        if (sizeClass >= LargeClass)
            return;
        *reinterpret_cast<unsigned char **>(pointer) = m_free[sizeClass];
        m_free[sizeClass] = block;
    }

private:
    static constexpr size_t HeaderBytes = alignof(std::max_align_t);
    static constexpr int ClassCount = 13; // 16 bytes to 64 KB
    static constexpr size_t ChunkBytes = size_t(1) << 20;
    static constexpr size_t LargeClass = ClassCount;

    static int classOf(size_t size)
    {
        int sizeClass = 0;
        while (sizeClass < ClassCount && (size_t(16) << sizeClass) < size)
            ++sizeClass;
        return sizeClass;
    }

    std::vector<void *> m_chunks;
    std::vector<void *> m_large;
    size_t m_used = 0;
    unsigned char *m_free[ClassCount] = {};
};

namespace {

// The processor time of the parsing thread: a page is refused for the work
// it makes, never because the machine was busy with something else while it
// was read.
std::chrono::nanoseconds threadTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

GumboParser::GumboParser(std::chrono::milliseconds budget)
    : m_arena(std::make_unique<GumboArena>()), m_budget(budget)
{
}

GumboParser::~GumboParser() = default;

const GumboOutput *GumboParser::parse(const char *data, size_t size)
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &GumboParser::allocate;
    options.deallocator = &GumboParser::deallocate;
    options.userdata = this;
    // The errors are never read, but they must be recorded: gumbo 0.10
    // clears the name of a repeated attribute without a value only when it
    // records the error, and past the limit the next attribute's name
    // starts with it ("hidden hidden src" would give "hiddensrc").
    options.max_errors = -1;
    m_deadline = threadTime() + m_budget;
    // Abandoned from inside the allocator: only gumbo's frames, which hold
    // nothing but arena memory, are left behind.
    if (setjmp(m_abandon) != 0)
        return nullptr;
    return gumbo_parse_with_options(&options, data, size);
}

void *GumboParser::allocate(void *userdata, size_t size)
{
    auto *parser = static_cast<GumboParser *>(userdata);
    // The parser allocates for every element and token, so the clock is
    // read often enough, and seldom enough to cost nothing.
    if (++parser->m_allocations % 64 == 0 && threadTime() > parser->m_deadline)
        std::longjmp(parser->m_abandon, 1);
    return parser->m_arena->take(size);
}

void GumboParser::deallocate(void *userdata, void *pointer)
{
    static_cast<GumboParser *>(userdata)->m_arena->giveBack(pointer);
}
