#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The one regular-expression engine of the system, over PCRE2 (8-bit, no UTF).
// Patterns are matched over the bytes of the text; "." matches line breaks
// (DOTALL), "^" and "$" match only at the ends of the whole text (no MULTILINE,
// DOLLAR_ENDONLY). White space for \s is space, TAB, LF, CR and FF; letters,
// digits and word characters are ASCII only. Compiled patterns are cached
// process-wide and JIT-compiled; every match runs under a match limit, so a
// hostile rule or page ends as "no match" instead of hanging the calling
// thread.

// A pattern that does not compile.
class RegexError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The offsets of one match; a group that did not take part has npos offsets.
class RegexMatchResult {
  public:
    static constexpr size_t npos = std::string_view::npos;

    size_t Start() const { return Begin(0); }
    size_t End() const { return Finish(0); }
    size_t Begin(size_t group) const { return group < spans_.size() ? spans_[group].first : npos; }
    size_t Finish(size_t group) const {
        return group < spans_.size() ? spans_[group].second : npos;
    }
    // The group's text within the text that was searched; empty when the group
    // did not take part or does not exist.
    std::string_view Group(std::string_view text, size_t group) const;
    size_t GroupCount() const { return spans_.size(); }

  private:
    friend class Regex;
    std::vector<std::pair<size_t, size_t>> spans_;
};

class Regex {
  public:
    // The compiled form of the pattern, from the cache when it was compiled
    // before. Throws RegexError when the pattern does not compile.
    static std::shared_ptr<const Regex> Get(std::string_view pattern);

    ~Regex();
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // Searches from byte offset start. False when nothing matches there or the
    // match limit was reached.
    bool Search(std::string_view text, size_t start, RegexMatchResult& result) const;
    bool Search(std::string_view text, RegexMatchResult& result) const {
        return Search(text, 0, result);
    }
    bool Matches(std::string_view text) const;

    // Every non-overlapping match, left to right; after an empty match the next
    // search starts one byte further.
    std::vector<RegexMatchResult> SearchAll(std::string_view text) const;

    // One pass: every non-overlapping match replaced by the replacement, taken
    // literally. replaced tells whether anything matched.
    std::string ReplaceAll(std::string_view text, std::string_view replacement,
                           bool* replaced = nullptr) const;

    const std::string& Pattern() const { return pattern_; }

    // How far a match may go before it counts as failed.
    static constexpr unsigned kMatchLimit = 5'000'000;

    struct Code;
    // Only Get() can make the key, so only Get() builds a Regex.
    class Key {
        friend class Regex;
        Key() = default;
    };
    Regex(Key, std::string pattern, std::unique_ptr<Code> code);

  private:
    std::string pattern_;
    std::unique_ptr<Code> code_;
};
