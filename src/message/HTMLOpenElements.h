#pragma once

// The stack of open elements and the list of active formatting elements as
// the HTML5 tree builder keeps them, closely enough to bound how deep its
// tree gets and how long its scans of them take, before the parser runs.
//
// The builder's rules are followed where pages lean on them: a table's
// cells, rows and sections close what they hold, and a cell's formatting
// ends with it; paragraphs and list items end at the next of their kind or
// the next block; an end tag closes only what its rule lets it reach (never
// across a cell or a table); formatting elements popped by another
// element's end stay in the list and are opened again by the next text or
// inline element (the builder keeps at most three alike in the list, but
// what it opened again stays open); inside svg and math every tag nests but
// those that break out to HTML. Where a rule is not followed, the model
// closes less than the builder, never more, so it may count deeper than the
// parser gets but never shallower by more than a small factor.
//
// Each operation costs at most a walk of the two lists, which stay below
// the caller's bound on depth as long as it refuses a page past that bound.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class HTMLOpenElements {
public:
    // `name` lower-case; `attributes` the tag's text after its name, which
    // tells formatting elements apart as the builder does (closely enough).
    void startTag(std::string_view name, std::string_view attributes);
    void endTag(std::string_view name);
    // Characters between tags.
    void text();
    // Elements open, formatting elements waiting to be opened again, and
    // markers that outlived their element (they keep what comes before them
    // from being opened again until they are cleared, and are no page's need).
    [[nodiscard]] int depth() const { return int(m_open.size()) + m_waiting + m_staleMarkers; }

private:
    struct Element {
        Element(std::string_view name, std::uint64_t formatting, bool marker, bool foreign = false);
        std::string name;
        std::uint64_t formatting; // its entry (or marker) in the formatting list; 0: none
        std::uint32_t categories; // what the builder's rules say of it (none for a foreign one)
        bool marker;              // a cell, caption or object: a marker bounds its formatting
        bool foreign;             // inside svg or math, where HTML's rules do not hold
        bool special;             // an end tag without a rule of its own stops here
        bool scopeBoundary;       // an end tag's scope ends here
    };
    struct Formatting {
        std::string name;
        std::string attributes;
        std::uint64_t id = 0;
        bool marker = false;
        bool open = true; // its element is on the stack
    };
    enum class Scope { Default, Button, ListItem };

    [[nodiscard]] int nearestInTable(std::initializer_list<std::string_view> names) const;
    [[nodiscard]] int nearestInScope(std::string_view name, Scope scope = Scope::Default) const;
    [[nodiscard]] int openSelect() const;
    [[nodiscard]] bool inForeignContent() const;
    [[nodiscard]] bool endForeign(std::string_view name);
    [[nodiscard]] bool currentIs(std::initializer_list<std::string_view> names) const;
    void push(std::string_view name, bool marker = false);
    void pushFormatting(std::string_view name, std::string_view attributes);
    // Pops the element at `index` and every one above it.
    void popFrom(int index);
    void closeParagraph();
    void closeListItem(std::initializer_list<std::string_view> names);
    void startTableTag(std::string_view name);
    void startInSelect(std::string_view name, int select);
    void endInSelect(std::string_view name, int select);
    void endFormatting(std::string_view name);
    void endAnyOther(std::string_view name);
    void reopenFormatting();
    void clearToLastMarker();
    [[nodiscard]] int lastMarker() const;
    [[nodiscard]] int formattingIndex(std::uint64_t id) const;
    void removeFormatting(int index);

    std::vector<Element> m_open;
    std::vector<Formatting> m_formatting;
    int m_waiting = 0;       // formatting entries not open
    int m_staleMarkers = 0;  // markers whose element is gone
    bool m_formOpen = false; // from a form's start to its end, wherever the element went
    std::uint64_t m_nextId = 1;
};
