#pragma once

// gumbo, run over text that passed the structure check before it
// (HTMLOpenElements), with its memory in an arena that goes at once with the
// parser, and with a time budget: the check follows the HTML5 tree builder
// where pages lean on it, but gumbo has corners of its own, and a page that
// finds one must not hold the program for minutes. Past the budget (of the
// parsing thread's processor time) the parse is abandoned and the page
// refused.
//
// One parse per parser; the tree lives as long as the parser.

#include <QtGlobal>

#include <gumbo.h>

#include <chrono>
#include <csetjmp>
#include <memory>

class GumboArena;

class GumboParser {
public:
    // Far more than any page within the import's size bound takes.
    static constexpr std::chrono::milliseconds DefaultBudget{10'000};

    explicit GumboParser(std::chrono::milliseconds budget = DefaultBudget);
    ~GumboParser();
    Q_DISABLE_COPY_MOVE(GumboParser)

    // The document, or null when the budget ran out.
    [[nodiscard]] const GumboOutput *parse(const char *data, size_t size);

private:
    static void *allocate(void *userdata, size_t size);
    static void deallocate(void *userdata, void *pointer);

    std::unique_ptr<GumboArena> m_arena;
    std::chrono::milliseconds m_budget;
    std::chrono::nanoseconds m_deadline{}; // of the parsing thread's processor time
    unsigned m_allocations = 0;
    std::jmp_buf m_abandon;
};
