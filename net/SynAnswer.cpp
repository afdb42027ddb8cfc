#include "net/SynAnswer.h"

#include <nlohmann/json.hpp>

#include <utility>

#include "platform/Charset.h"

namespace {

using Json = nlohmann::json;

bool Blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// What the sync takes from a value: the text of a string, the decimal text
// of a number; anything else has none.
struct Scalar {
    bool textual = false;
    std::string utf8;
};

// The parser's events with the nesting counted: a value opened deeper than
// the limit ends the parse, so no later step ever meets such a nesting.
class DepthCounter : public nlohmann::json_sax<Json> {
  public:
    bool binary(binary_t&) override { return false; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  protected:
    bool Open() { return ++depth_ <= TSynAnswer::kMaxDepth; }
    void Close() { --depth_; }
    int Depth() const { return depth_; }

  private:
    int depth_ = 0;
};

// Takes the flag and the rows of data, nothing else.
class AnswerReader final : public DepthCounter {
  public:
    explicit AnswerReader(TSynAnswer& answer) : answer_(answer) {}

    bool FlagFound() const { return flagFound_; }

    bool null() override { return Value(Opens::Nothing, {}); }
    bool boolean(bool) override { return Value(Opens::Nothing, {}); }
    bool number_integer(number_integer_t value) override {
        return Value(Opens::Nothing, {true, std::to_string(value)});
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Value(Opens::Nothing, {true, std::to_string(value)});
    }
    bool number_float(number_float_t value, const string_t&) override {
        return Value(Opens::Nothing, {true, Json(value).dump()});
    }
    bool string(string_t& value) override {
        return Value(Opens::Nothing, {true, std::move(value)});
    }
    bool start_object(std::size_t) override { return Value(Opens::Object, {}) && Open(); }
    bool start_array(std::size_t) override { return Value(Opens::Array, {}) && Open(); }
    bool key(string_t& name) override {
        if (Depth() == 1) topKey_ = std::move(name);
        if (Depth() == 3 && rowOpen_) field_ = RowField(name);
        return true;
    }
    bool end_object() override {
        if (Depth() == 3 && rowOpen_) {
            rowOpen_ = false;
            if (!Blank(row_.SiteID) && !Blank(row_.StoryID))
                answer_.rows.push_back(std::move(row_));
        }
        Close();
        return true;
    }
    bool end_array() override {
        if (Depth() == 2) inData_ = false;
        Close();
        return true;
    }

  private:
    enum class Opens { Nothing, Object, Array };

    // A value in the container open now (opens: it begins a container).
    bool Value(Opens opens, Scalar scalar) {
        switch (Depth()) {
            case 0:
                return opens == Opens::Object;
            case 1:
                // A member named twice counts with its last value.
                if (topKey_ == "flag") {
                    flagFound_ = scalar.textual;
                    answer_.flag = scalar.textual ? platform::Utf8ToAnsi(scalar.utf8) : "";
                } else if (topKey_ == "data") {
                    answer_.rows.clear();
                    rowCount_ = 0;
                    answer_.hasData = inData_ = opens == Opens::Array;
                }
                return true;
            case 2:
                if (inData_ && opens == Opens::Object) {
                    if (++rowCount_ > TSynAnswer::kMaxRows) return false;
                    rowOpen_ = true;
                    row_ = {};
                    field_ = nullptr;
                }
                return true;
            case 3:
                if (rowOpen_ && field_)
                    *field_ = scalar.textual ? platform::Utf8ToAnsi(scalar.utf8) : "";
                return true;
            default:
                return true;
        }
    }
    AnsiString* RowField(std::string_view name) {
        if (name == "siteid") return &row_.SiteID;
        if (name == "bookid") return &row_.StoryID;
        if (name == "bookname") return &row_.StoryName;
        if (name == "lastchapterid") return &row_.ReadChapter;
        if (name == "addtime") return &row_.ReadTime;
        return nullptr;
    }

    TSynAnswer& answer_;
    std::string topKey_;
    bool flagFound_ = false;
    bool inData_ = false;
    bool rowOpen_ = false;
    std::size_t rowCount_ = 0;
    TReadHistorySyncData row_;
    AnsiString* field_ = nullptr;
};

// Writes the answer again as it goes, the login key masked.
class AnswerWriter final : public DepthCounter {
  public:
    std::string out;

    bool null() override { return Scalar("null"); }
    bool boolean(bool value) override { return Scalar(value ? "true" : "false"); }
    bool number_integer(number_integer_t value) override { return Scalar(std::to_string(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Scalar(std::to_string(value)); }
    bool number_float(number_float_t value, const string_t&) override {
        return Scalar(Json(value).dump());
    }
    bool string(string_t& value) override { return Scalar(Quoted(value)); }
    bool start_object(std::size_t) override { return Start('{', false); }
    bool start_array(std::size_t) override { return Start('[', true); }
    bool key(string_t& name) override {
        if (skipping_ > 0) return true;
        Separate();
        out += Quoted(name);
        out += ':';
        if (Depth() == 1 && name == "loginkey") {
            out += Quoted(TSynAnswer::kMaskedKey);
            masking_ = true;
        }
        return true;
    }
    bool end_object() override { return End('}'); }
    bool end_array() override { return End(']'); }

  private:
    static std::string Quoted(const std::string& text) {
        return Json(text).dump(-1, ' ', true, Json::error_handler_t::replace);
    }
    // A comma before every element but the first of its container.
    void Separate() {
        if (!counts_.empty() && counts_.back()++ > 0) out += ',';
    }
    bool Scalar(const std::string& text) {
        if (skipping_ > 0) return true;
        if (masking_) {
            masking_ = false;
            return true;
        }
        if (!inObject_.empty() && !inObject_.back()) Separate();
        out += text;
        return true;
    }
    bool Start(char bracket, bool array) {
        if (!Open()) return false;
        if (skipping_ > 0 || masking_) {
            masking_ = false;
            ++skipping_;
            return true;
        }
        if (!inObject_.empty() && !inObject_.back()) Separate();
        out += bracket;
        inObject_.push_back(!array);
        counts_.push_back(0);
        return true;
    }
    bool End(char bracket) {
        Close();
        if (skipping_ > 0) {
            --skipping_;
            return true;
        }
        out += bracket;
        inObject_.pop_back();
        counts_.pop_back();
        return true;
    }

    std::vector<bool> inObject_;
    std::vector<int> counts_;
    // The masked key's value is left out, with everything inside it.
    bool masking_ = false;
    int skipping_ = 0;
};

}  // namespace

TSynAnswer TSynAnswer::Read(int statusCode, std::string_view text) {
    TSynAnswer answer;
    if (statusCode < 200 || statusCode > 299 || text.size() > kMaxBytes) return answer;
    AnswerReader reader(answer);
    if (!Json::sax_parse(text, &reader)) return TSynAnswer{};
    if (!reader.FlagFound()) return TSynAnswer{};
    answer.kind = answer.flag == "0" ? Kind::Success : Kind::Error;
    return answer;
}

std::string TSynAnswer::Copy(std::string_view text) {
    if (text.size() > kMaxBytes) return {};
    AnswerWriter writer;
    if (!Json::sax_parse(text, &writer)) return {};
    return std::move(writer.out);
}
