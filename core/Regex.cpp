#include "core/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <locale.h>

#include <list>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t kCompileOptions = PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY;
constexpr size_t kCacheCapacity = 512;
constexpr size_t kJitStackMax = 4 * 1024 * 1024;

struct MatchDataDeleter {
    void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* c) const { pcre2_match_context_free(c); }
};
struct JitStackDeleter {
    void operator()(pcre2_jit_stack* s) const { pcre2_jit_stack_free(s); }
};
struct CompileContextDeleter {
    void operator()(pcre2_compile_context* c) const { pcre2_compile_context_free(c); }
};

// The layout of PCRE2's character tables: case maps, then the class bitmaps
// (white space first), then one flag byte per character (bit 0: white space).
constexpr uint32_t kTablesLength = 1088;
constexpr size_t kClassBitsOffset = 512;
constexpr size_t kCharTypesOffset = 832;
constexpr uint8_t kSpaceType = 0x01;

bool InSpaceBitmap(const std::vector<uint8_t>& tables, int c) {
    return ((tables[kClassBitsOffset + static_cast<size_t>(c / 8)] >> (c % 8)) & 1) != 0;
}

// The tables of the "C" locale, whatever locale the program runs in (bytes of
// double-byte characters are never letters or spaces), with white space for
// \s and [[:space:]] being space, TAB, LF, CR and FF: PCRE2, like Perl since
// 5.18, also counts the vertical tab, which the site rules do not expect.
// Empty when the tables are not laid out as expected: then PCRE2's built-in
// ones serve unchanged.
std::vector<uint8_t> MakeCharacterTables() {
    uint32_t length = 0;
    if (pcre2_config(PCRE2_CONFIG_TABLES_LENGTH, &length) < 0 || length != kTablesLength) return {};
    const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!c) return {};
    const locale_t previous = uselocale(c);
    const uint8_t* made = pcre2_maketables(nullptr);
    uselocale(previous);
    freelocale(c);
    if (!made) return {};
    std::vector<uint8_t> tables(made, made + length);
    pcre2_maketables_free(nullptr, made);
    for (int ch = 0; ch < 256; ++ch) {
        const bool space = ch == ' ' || (ch >= '\t' && ch <= '\r');
        const bool typed = (tables[kCharTypesOffset + static_cast<size_t>(ch)] & kSpaceType) != 0;
        if (typed != space || InSpaceBitmap(tables, ch) != space) return {};
    }
    tables[kCharTypesOffset + '\v'] &= static_cast<uint8_t>(~kSpaceType);
    tables[kClassBitsOffset + '\v' / 8] &= static_cast<uint8_t>(~(1u << ('\v' % 8)));
    return tables;
}

const uint8_t* CharacterTables() {
    static const std::vector<uint8_t> tables = MakeCharacterTables();
    return tables.empty() ? nullptr : tables.data();
}

// Per-thread match context: the match limit and a JIT stack large enough for
// the nested groups that site rules use over whole pages.
class ThreadMatchContext {
  public:
    ThreadMatchContext()
        : context_(pcre2_match_context_create(nullptr)),
          stack_(pcre2_jit_stack_create(32 * 1024, kJitStackMax, nullptr)) {
        pcre2_set_match_limit(context_.get(), Regex::kMatchLimit);
        pcre2_set_depth_limit(context_.get(), 100'000);
        if (stack_) pcre2_jit_stack_assign(context_.get(), nullptr, stack_.get());
    }
    pcre2_match_context* Get() const { return context_.get(); }

  private:
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> context_;
    std::unique_ptr<pcre2_jit_stack, JitStackDeleter> stack_;
};

pcre2_match_context* MatchContext() {
    thread_local ThreadMatchContext context;
    return context.Get();
}

}  // namespace

struct Regex::Code {
    pcre2_code* code = nullptr;
    ~Code() { pcre2_code_free(code); }
};

std::string_view RegexMatchResult::Group(std::string_view text, size_t group) const {
    if (group >= spans_.size()) return {};
    const auto [begin, end] = spans_[group];
    if (begin == npos || end == npos || begin > end || end > text.size()) return {};
    return text.substr(begin, end - begin);
}

Regex::Regex(Key, std::string pattern, std::unique_ptr<Code> code)
    : pattern_(std::move(pattern)), code_(std::move(code)) {}

Regex::~Regex() = default;

namespace {

// A bounded cache of compiled patterns, least recently used dropped first.
class RegexCache {
  public:
    std::shared_ptr<const Regex> Find(const std::string& pattern) {
        std::lock_guard lock(mutex_);
        const auto it = index_.find(pattern);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second);
        return it->second->second;
    }
    void Put(const std::string& pattern, std::shared_ptr<const Regex> regex) {
        std::lock_guard lock(mutex_);
        if (index_.count(pattern)) return;
        order_.emplace_front(pattern, std::move(regex));
        index_[pattern] = order_.begin();
        if (order_.size() > kCacheCapacity) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
    }

  private:
    using Entry = std::pair<std::string, std::shared_ptr<const Regex>>;
    std::mutex mutex_;
    std::list<Entry> order_;
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

RegexCache& Cache() {
    static RegexCache cache;
    return cache;
}

}  // namespace

std::shared_ptr<const Regex> Regex::Get(std::string_view pattern) {
    std::string key(pattern);
    if (auto cached = Cache().Find(key)) return cached;

    std::unique_ptr<pcre2_compile_context, CompileContextDeleter> context(
        pcre2_compile_context_create(nullptr));
    if (context && CharacterTables()) pcre2_set_character_tables(context.get(), CharacterTables());
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(key.data()), key.size(),
                                         kCompileOptions, &error, &offset, context.get());
    if (!compiled) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        throw RegexError("bad pattern at " + std::to_string(offset) + ": " +
                         reinterpret_cast<const char*>(message));
    }
    auto code = std::make_unique<Code>();
    code->code = compiled;
    // Without JIT support the interpreter runs the same pattern.
    pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);

    auto regex = std::make_shared<const Regex>(Key{}, key, std::move(code));
    Cache().Put(key, regex);
    return regex;
}

bool Regex::Search(std::string_view text, size_t start, RegexMatchResult& result) const {
    result.spans_.clear();
    if (start > text.size()) return false;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code_->code, nullptr));
    if (!data) return false;
    const int rc = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                               start, 0, data.get(), MatchContext());
    if (rc <= 0) return false;  // no match, match limit, or another run-time error
    uint32_t groups = 0;
    pcre2_pattern_info(code_->code, PCRE2_INFO_CAPTURECOUNT, &groups);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    result.spans_.resize(groups + 1);
    for (uint32_t i = 0; i <= groups; ++i) {
        const bool set = static_cast<int>(i) < rc && ovector[2 * i] != PCRE2_UNSET;
        result.spans_[i] =
            set ? std::pair<size_t, size_t>{ovector[2 * i], ovector[2 * i + 1]}
                : std::pair<size_t, size_t>{RegexMatchResult::npos, RegexMatchResult::npos};
    }
    return true;
}

bool Regex::Matches(std::string_view text) const {
    RegexMatchResult result;
    return Search(text, 0, result);
}

std::vector<RegexMatchResult> Regex::SearchAll(std::string_view text) const {
    std::vector<RegexMatchResult> matches;
    size_t position = 0;
    RegexMatchResult result;
    while (position <= text.size() && Search(text, position, result)) {
        const size_t end = result.End();
        position = end == result.Start() ? end + 1 : end;
        matches.push_back(std::move(result));
    }
    return matches;
}

std::string Regex::ReplaceAll(std::string_view text, std::string_view replacement,
                              bool* replaced) const {
    std::string out;
    size_t copied = 0;
    size_t position = 0;
    bool any = false;
    RegexMatchResult result;
    while (position <= text.size() && Search(text, position, result)) {
        any = true;
        out.append(text.substr(copied, result.Start() - copied));
        out.append(replacement);
        copied = result.End();
        if (result.End() == result.Start()) {
            // An empty match: keep the byte after it and search on past it.
            if (copied < text.size()) out.push_back(text[copied]);
            copied = position = result.End() + 1;
        } else {
            position = result.End();
        }
    }
    if (copied < text.size()) out.append(text.substr(copied));
    if (replaced) *replaced = any;
    return any ? out : std::string(text);
}
