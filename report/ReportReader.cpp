#include "report/ReportReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <new>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "engine/JobStage.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace qrv {

namespace {

using Json = nlohmann::json;

// The kinds of JSON value a field is written as.
enum class Kind { Null, Bool, Number, String, Array, Object, Other };

Kind KindOf(const Json& value) {
    switch (value.type()) {
    case Json::value_t::null:
        return Kind::Null;
    case Json::value_t::boolean:
        return Kind::Bool;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
        return Kind::Number;
    case Json::value_t::string:
        return Kind::String;
    case Json::value_t::array:
        return Kind::Array;
    case Json::value_t::object:
        return Kind::Object;
    default:
        return Kind::Other;
    }
}

// "a string", "an array"... for messages.
const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Null:
        return "null";
    case Kind::Bool:
        return "true or false";
    case Kind::Number:
        return "a number";
    case Kind::String:
        return "a string";
    case Kind::Array:
        return "an array";
    case Kind::Object:
        return "an object";
    case Kind::Other:
        break;
    }
    return "no JSON value";
}

// Bounds on what the JSON reader takes in, so that no input can exhaust the
// stack or the memory; a report is three levels deep and holds about 4700 values.
constexpr int kMaxJsonDepth = 16;
constexpr std::size_t kMaxJsonValues = 65536;

// A dry run's report (BatchReport::dryRun) names what would have happened.
constexpr const char* kDryRunReport = "this is the report of a dry run, which changed no camera";

const std::string kFormatText = std::to_string(kReportFormatVersion);

// Text from the file for a message: cut to 40 bytes ("..." when longer),
// every byte that could upset a terminal shown as '?', between `quote` marks.
std::string ShownInMessage(std::string_view text, char quote) {
    constexpr std::size_t kLongest = 40;
    std::string out(1, quote);
    for (const char c : text.substr(0, kLongest)) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    if (text.size() > kLongest) out += "...";
    return out + quote;
}

// A value from the file inside a message.
std::string Shown(std::string_view text) { return ShownInMessage(text, '\''); }

// Whether `text` is valid UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view text) { return DecodeUtf8(text).has_value(); }

std::string AtLine(int line) { return "line " + std::to_string(line) + ": "; }

// Digits without a sign or a leading zero, as the program writes a number.
std::optional<int> WholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool ReadNumberIn(std::string_view text, int lowest, int highest, int& out) {
    const std::optional<int> value = WholeNumber(text);
    if (!value || *value < lowest || *value > highest) return false;
    out = *value;
    return true;
}

bool ReadText(std::string_view text, std::string& out, std::string& why) {
    if (!IsValidUtf8(text)) {
        why = "not UTF-8 text";
        return false;
    }
    out.assign(text);
    return true;
}

// Empty, or "2026-12-07T11:12:13+01:00" as IsoLocalTime writes it.
bool ReadTime(std::string_view text, std::string& out, std::string& why) {
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd+dd:dd";
    bool fits = text.empty() || text.size() == kShape.size();
    for (std::size_t i = 0; fits && i < text.size(); ++i) {
        const char c = text[i];
        const char want = kShape[i];
        fits = want == 'd' ? c >= '0' && c <= '9' : want == '+' ? c == '+' || c == '-' : c == want;
    }
    if (!fits) {
        why = Shown(text) + " is not a time like 2026-12-07T11:12:13+01:00";
        return false;
    }
    out.assign(text);
    return true;
}

bool ReadAddress(std::string_view text, std::string& out, std::string& why) {
    // The port has a field of its own.
    if (!CameraAddress::Parse(text) || text.find(':') != std::string_view::npos) {
        why = Shown(text) + " is not an address a.b.c.d";
        return false;
    }
    out.assign(text);
    return true;
}

bool ReadPort(std::string_view text, int& out, std::string& why) {
    if (ReadNumberIn(text, 1, kHighestPort, out)) return true;
    why = Shown(text) + " is not a port (1 to 65535)";
    return false;
}

bool ReadStage(std::string_view text, int& out, std::string& why) {
    if (ReadNumberIn(text, kStandby, kError7, out)) return true;
    why = Shown(text) + " is not a stage code (0 to 16)";
    return false;
}

bool ReadFlag(std::string_view text, bool& out, std::string& why) {
    if (text != "true" && text != "false") {
        why = Shown(text) + " is neither true nor false";
        return false;
    }
    out = text == "true";
    return true;
}

bool ReadSettings(std::string_view text, SetupDataMode& out, std::string& why) {
    for (const SetupDataMode mode : {SetupDataMode::Discard, SetupDataMode::Retain, SetupDataMode::Backup}) {
        if (text == SettingsModeName(mode)) {
            out = mode;
            return true;
        }
    }
    why = "unknown settings " + Shown(text) + " (discard, retain or backup)";
    return false;
}

bool ReadConfig(std::string_view text, ConfigOutcome& out, std::string& why) {
    for (const ConfigOutcome outcome :
         {ConfigOutcome::None, ConfigOutcome::Restored, ConfigOutcome::RestoredKept, ConfigOutcome::Kept}) {
        if (text == ConfigOutcomeName(outcome)) {
            out = outcome;
            return true;
        }
    }
    why = "unknown config outcome " + Shown(text);
    return false;
}

// One field of a record: its name (JSON key and CSV column), the JSON kind it
// is written as, and how its text goes into the record.
struct RecordField {
    const char* name;
    Kind kind;
    bool (*read)(std::string_view text, ReportRecord& record, std::string& why);
};

// In the order of the CSV columns after "format".
constexpr std::array<RecordField, 17> kRecordFields{{
    {"address", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadAddress(t, r.address, w); }},
    {"port", Kind::Number, [](auto t, ReportRecord& r, std::string& w) { return ReadPort(t, r.port, w); }},
    {"mac", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.mac, w); }},
    {"model", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.model, w); }},
    {"serial", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.serial, w); }},
    {"version_before", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.versionBefore, w); }},
    {"version_after", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.versionAfter, w); }},
    {"stage", Kind::Number, [](auto t, ReportRecord& r, std::string& w) { return ReadStage(t, r.stage, w); }},
    {"status", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.statusText, w); }},
    {"result", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.resultLine, w); }},
    {"finished", Kind::Bool, [](auto t, ReportRecord& r, std::string& w) { return ReadFlag(t, r.finished, w); }},
    {"upgraded", Kind::Bool, [](auto t, ReportRecord& r, std::string& w) { return ReadFlag(t, r.upgraded, w); }},
    {"settings", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadSettings(t, r.settings, w); }},
    {"config_file", Kind::String,
     [](auto t, ReportRecord& r, std::string& w) { return ReadText(t, r.configPath, w); }},
    {"config", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadConfig(t, r.config, w); }},
    {"started", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadTime(t, r.started, w); }},
    {"ended", Kind::String, [](auto t, ReportRecord& r, std::string& w) { return ReadTime(t, r.ended, w); }},
}};

std::string OtherFormat(std::string_view written) {
    return "the report is of format " + Shown(written) + "; this program reads format " + kFormatText;
}

std::string NoFormat(const char* where) {
    return std::string("no ") + where + " 'format': this is no batch report, or one written before format " +
           kFormatText;
}

// ---- JSON ----

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The line the reader has reached: where the last byte it took that is no
// blank stands. Strings hold no line ends, so a value's line is where it
// begins, and a byte read ahead past a number is at most a blank.
struct ReadProgress {
    int line = 1;
    int tokenLine = 1;
};

// The text as the JSON library reads it, byte by byte, counting lines on the way.
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator() = default;
    CountingIterator(const char* at, ReadProgress* progress) : at_(at), progress_(progress) {}

    reference operator*() const { return *at_; }
    CountingIterator& operator++() {
        const char c = *at_++;
        if (c == '\n') {
            ++progress_->line;
        } else if (!IsBlank(c)) {
            progress_->tokenLine = progress_->line;
        }
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    friend bool operator==(const CountingIterator& a, const CountingIterator& b) { return a.at_ == b.at_; }

private:
    const char* at_ = nullptr;
    ReadProgress* progress_ = nullptr;
};

// The line of the last byte that is no blank among the first `position`
// bytes of `text` (the JSON library tells where it stopped as a count of bytes).
int LineAt(std::string_view text, std::size_t position) {
    std::size_t end = std::min(position, text.size());
    while (end > 0 && IsBlank(text[end - 1])) --end;
    if (end > 0) --end;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

std::string Describe(char c) {
    const auto byte = static_cast<unsigned char>(c);
    char text[16];
    if (byte > 0x20 && byte < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    }
    return text;
}

// The part of `text` after `from` up to `to` (or its end); empty when `from` is not there.
std::string_view Between(std::string_view text, std::string_view from, std::string_view to) {
    const std::size_t start = text.find(from);
    if (start == std::string_view::npos) return {};
    text.remove_prefix(start + from.size());
    return text.substr(0, text.find(to));
}

// Why the JSON library refused the text, in this program's words. The
// library's message quotes the bytes it read last; only its own fixed
// words are taken from it, never those bytes.
std::string SyntaxError(const Json::exception& refusal, std::string_view text, std::size_t position,
                        const std::string& lastKey) {
    const std::string_view what = refusal.what();
    if (what.find("number overflow") != std::string_view::npos) return "a number too large";
    // What comes after "; last read: " is the text's bytes.
    const std::string_view head = what.substr(0, what.find("; last read: "));
    const std::string_view context = Between(head, "while parsing ", " - ");
    const std::string_view detail = Between(head, " - ", "\n");
    const bool atEnd = detail.starts_with("unexpected end of input");
    if (what.ends_with("; expected end of input")) return "text after the end of the value";
    if (detail.starts_with("invalid string: control character")) {
        return "a control character (" + std::string(Between(detail, "character ", " ")) + ") inside a string";
    }
    if (detail.find("ill-formed UTF-8") != std::string_view::npos) return "a string is not valid UTF-8";
    if (detail.find("missing closing quote") != std::string_view::npos) return "a string is not closed";
    if (detail.find("4 hex digits") != std::string_view::npos) return "\\u must be followed by four hex digits";
    if (detail.find("U+D800..U+DBFF must be followed") != std::string_view::npos) {
        return "a high surrogate \\u escape without its low one";
    }
    if (detail.find("U+DC00..U+DFFF must follow") != std::string_view::npos) {
        return "a low surrogate \\u escape without its high one";
    }
    if (detail.find("forbidden character after backslash") != std::string_view::npos) {
        // The library stops right after the byte that follows the backslash.
        if (position == 0 || position > text.size()) return "unknown escape: a backslash before another byte";
        return "unknown escape: a backslash before " + Describe(text[position - 1]) + " in a string";
    }
    if (detail.starts_with("invalid number")) {
        if (detail.ends_with("after '-'")) return "a number without digits";
        if (detail.ends_with("after '.'")) return "a number without digits after its '.'";
        return "a number without digits in its exponent";
    }
    if (context == "object key") return atEnd ? "an object is not closed" : "expected a key in double quotes";
    if (context == "object separator") {
        return atEnd ? "an object is not closed" : "expected ':' after the key " + ShownInMessage(lastKey, '"');
    }
    if (context == "object") return atEnd ? "an object is not closed" : "expected ',' or '}' after a value";
    if (context == "array") return atEnd ? "an array is not closed" : "expected ',' or ']' after a value";
    if (atEnd) return "the text ends where a value should begin";
    if (detail.starts_with("unexpected ")) {
        // The library's name of the token: "']'", "':'", "','"...
        return "unexpected " + std::string(Between(detail, "unexpected ", ";")) + " where a value should begin";
    }
    if (detail == "invalid literal") return "no value here (a string, a number, an object, an array, true, false or null)";
    return "refused by the JSON reader (error " + std::to_string(refusal.id) + ")";
}

// Where a value is: "" for the whole text, "/records/0/port" for a field of
// the first record (JSON Pointer, RFC 6901).
std::string ChildPath(const std::string& path, std::string_view key) {
    std::string out = path + '/';
    for (const char c : key) {
        if (c == '~') {
            out += "~0";
        } else if (c == '/') {
            out += "~1";
        } else {
            out += c;
        }
    }
    return out;
}

std::string ChildPath(const std::string& path, std::size_t index) { return path + '/' + std::to_string(index); }

// "record 3: " for what lies in the third record, else "".
std::string ContextOf(const std::string& path) {
    static const std::string kRecords = "/records/";
    if (!path.starts_with(kRecords)) return {};
    const std::string_view rest = std::string_view(path).substr(kRecords.size());
    const std::size_t end = rest.find('/');
    const std::string_view digits = rest.substr(0, end);
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {};
    }
    return "record " + std::to_string(std::stoul(std::string(digits)) + 1) + ": ";
}

// A JSON text read whole, with the line each of its values begins on.
struct JsonDocument {
    Json root;
    std::unordered_map<std::string, int> lines;  // by the value's path

    int LineOf(const std::string& path) const {
        const auto found = lines.find(path);
        return found == lines.end() ? 1 : found->second;
    }
};

// Builds the document from the JSON library's events: the library reads the
// grammar; this takes the values, notes their lines, and refuses a key that
// repeats within one object (the library would keep the last one silently),
// nesting deeper than kMaxJsonDepth and more than kMaxJsonValues values.
class DocumentBuilder {
public:
    DocumentBuilder(std::string_view text, const ReadProgress& progress, JsonDocument& document)
        : text_(text), progress_(progress), document_(document) {}

    const std::string& Error() const { return error_; }

    bool null() { return Add(Json(nullptr)); }
    bool boolean(bool value) { return Add(Json(value)); }
    bool number_integer(Json::number_integer_t value) { return Add(Json(value)); }
    bool number_unsigned(Json::number_unsigned_t value) { return Add(Json(value)); }
    bool number_float(Json::number_float_t value, const Json::string_t& /*as written*/) { return Add(Json(value)); }
    bool string(Json::string_t& value) { return Add(Json(std::move(value))); }
    bool binary(Json::binary_t& /*value*/) { return Fail("not valid JSON: binary data"); }

    bool start_object(std::size_t /*elements*/) { return Open(Json::object()); }
    bool start_array(std::size_t /*elements*/) { return Open(Json::array()); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }

    bool key(Json::string_t& key) {
        Frame& frame = frames_.back();
        lastKey_ = key;
        if (frame.value->contains(key)) {
            error_ = AtLine(progress_.tokenLine) + (frame.path ? ContextOf(*frame.path) : "") + "field " + Shown(key) +
                     " appears twice";
            return false;
        }
        frame.key = std::move(key);
        return true;
    }

    bool parse_error(std::size_t position, const std::string& /*last token, raw bytes*/,
                     const Json::exception& refusal) {
        error_ = AtLine(LineAt(text_, position)) + "not valid JSON: " + SyntaxError(refusal, text_, position, lastKey_);
        return false;
    }

private:
    struct Frame {
        Json* value;
        std::optional<std::string> path;  // where lines are noted (HoldsReportFields)
        std::string key;        // of an object, the key whose value comes next
        std::size_t items = 0;  // of an array, how many it holds
    };

    bool Fail(const std::string& why) {
        error_ = AtLine(progress_.tokenLine) + why;
        return false;
    }

    // The value placed where the text has it; nothing when a bound is passed.
    Json* Place(Json value) {
        if (frames_.size() + 1 > static_cast<std::size_t>(kMaxJsonDepth)) {
            Fail("not valid JSON: nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
            return nullptr;
        }
        if (++values_ > kMaxJsonValues) {
            Fail("not valid JSON: more than " + std::to_string(kMaxJsonValues) + " values");
            return nullptr;
        }
        Json* placed = nullptr;
        std::optional<std::string> path;
        if (frames_.empty()) {
            path.emplace();
            document_.root = std::move(value);
            placed = &document_.root;
        } else if (Frame& frame = frames_.back(); frame.value->is_object()) {
            if (frame.path) path = ChildPath(*frame.path, frame.key);
            placed = &(*frame.value)[frame.key];
            *placed = std::move(value);
        } else {
            if (frame.path) path = ChildPath(*frame.path, frame.items);
            ++frame.items;
            frame.value->push_back(std::move(value));
            placed = &frame.value->back();
        }
        if (path) document_.lines[*path] = progress_.tokenLine;
        lastPath_ = std::move(path);
        return placed;
    }

    bool Add(Json value) { return Place(std::move(value)) != nullptr; }

    // Lines are noted where a report has its fields only: the whole text, its
    // header fields, "records", each record and its fields. So no path is
    // made of a long key many times over, whatever the text nests in it.
    static bool HoldsReportFields(const std::string& path) {
        static const std::string kRecords = "/records";
        return path.empty() || path == kRecords ||
               (path.starts_with(kRecords + '/') && path.find('/', kRecords.size() + 1) == std::string::npos);
    }

    // Values go into the innermost open container only, so the containers
    // further out, and the pointers to them, stay where they are.
    bool Open(Json container) {
        Json* placed = Place(std::move(container));
        if (!placed) return false;
        if (lastPath_ && !HoldsReportFields(*lastPath_)) lastPath_.reset();
        frames_.push_back(Frame{placed, std::move(lastPath_), {}, 0});
        return true;
    }

    bool Close() {
        frames_.pop_back();
        return true;
    }

    std::string_view text_;
    const ReadProgress& progress_;
    JsonDocument& document_;
    std::vector<Frame> frames_;
    std::size_t values_ = 0;
    std::optional<std::string> lastPath_;
    std::string lastKey_;
    std::string error_;
};

// The document in `text`; nothing, with `error` set ("line 3: not valid
// JSON: ..."), when it is no valid JSON or passes the bounds.
std::optional<JsonDocument> ParseDocument(std::string_view text, std::string& error) {
    JsonDocument document;
    ReadProgress progress;
    DocumentBuilder builder(text, progress, document);
    bool read = false;
    try {
        read = Json::sax_parse(CountingIterator(text.data(), &progress),
                               CountingIterator(text.data() + text.size(), &progress), &builder);
    } catch (const std::bad_alloc&) {
        // The library reports its refusals to the builder; what is thrown
        // all the same stays inside the reader.
        error = "not enough memory to read the report";
        return std::nullopt;
    } catch (const Json::exception& e) {
        error = "the JSON reader failed (error " + std::to_string(e.id) + ")";
        return std::nullopt;
    }
    if (!read) {
        error = builder.Error().empty() ? "not valid JSON" : builder.Error();
        return std::nullopt;
    }
    return document;
}

// The keys of the object at `path` are all among `names`, each once (the
// reader refused a repeated key already); otherwise `error`.
template <std::size_t N>
bool CheckKeys(const JsonDocument& document, const Json& object, const std::string& path,
               const std::array<const char*, N>& names, const std::string& context, std::string& error) {
    for (auto item = object.begin(); item != object.end(); ++item) {
        const std::string& key = item.key();
        const bool known = std::any_of(names.begin(), names.end(), [&](const char* name) { return key == name; });
        if (!known) {
            error = AtLine(document.LineOf(ChildPath(path, key))) + context + "unknown field " + Shown(key);
            return false;
        }
    }
    for (const char* name : names) {
        if (!object.contains(name)) {
            error = AtLine(document.LineOf(path)) + context + "field '" + name + "' is missing";
            return false;
        }
    }
    return true;
}

bool CheckKind(const Json& value, Kind kind, const std::string& where, const char* name, std::string& error) {
    if (KindOf(value) == kind) return true;
    error = where + "field '" + name + "' must be " + KindName(kind) + ", not " + KindName(KindOf(value));
    return false;
}

// A number as the library gives it back: whole numbers as digits, others in
// the library's shortest form ("8080.5").
std::string NumberText(const Json& value) {
    if (value.is_number_unsigned()) return std::to_string(value.get<Json::number_unsigned_t>());
    if (value.is_number_integer()) return std::to_string(value.get<Json::number_integer_t>());
    return value.dump();
}

// The text a field's reader takes: a string's content, a number's digits, "true" or "false".
std::string ScalarText(const Json& value) {
    if (value.is_string()) return value.get_ref<const std::string&>();
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    return NumberText(value);
}

bool ReadJsonRecord(const JsonDocument& document, const Json& value, std::size_t index, ReportRecord& record,
                    std::string& error) {
    const std::string path = ChildPath("/records", index);
    const std::string context = "record " + std::to_string(index + 1) + ": ";
    if (!value.is_object()) {
        error = AtLine(document.LineOf(path)) + context + "must be an object, not " + KindName(KindOf(value));
        return false;
    }
    static constexpr std::array<const char*, kRecordFields.size()> kNames = [] {
        std::array<const char*, kRecordFields.size()> names{};
        for (std::size_t i = 0; i < names.size(); ++i) names[i] = kRecordFields[i].name;
        return names;
    }();
    if (!CheckKeys(document, value, path, kNames, context, error)) return false;
    for (const RecordField& field : kRecordFields) {
        const Json& item = value.at(field.name);
        const std::string where = AtLine(document.LineOf(ChildPath(path, field.name))) + context;
        if (!CheckKind(item, field.kind, where, field.name, error)) return false;
        std::string why;
        if (!field.read(ScalarText(item), record, why)) {
            error = where + "field '" + field.name + "': " + why;
            return false;
        }
    }
    return true;
}

std::optional<BatchReport> ReadJson(std::string_view text, std::string& error) {
    const std::optional<JsonDocument> parsed = ParseDocument(text, error);
    if (!parsed) return std::nullopt;
    const JsonDocument& document = *parsed;
    const Json& root = document.root;
    if (!root.is_object()) {
        error = AtLine(document.LineOf("")) + "a report is a JSON object, not " + KindName(KindOf(root));
        return std::nullopt;
    }
    // The format first: a report of another version may differ in anything else.
    if (!root.contains("format")) {
        error = AtLine(document.LineOf("")) + NoFormat("field");
        return std::nullopt;
    }
    const Json& format = root.at("format");
    const std::string formatWhere = AtLine(document.LineOf("/format"));
    if (!CheckKind(format, Kind::Number, formatWhere, "format", error)) return std::nullopt;
    if (NumberText(format) != kFormatText) {
        error = formatWhere + OtherFormat(NumberText(format));
        return std::nullopt;
    }
    if (root.contains("dry_run")) {
        error = AtLine(document.LineOf("/dry_run")) + kDryRunReport;
        return std::nullopt;
    }
    static constexpr std::array<const char*, 5> kNames = {"format", "program_version", "batch_time",
                                                          "carried_version", "records"};
    if (!CheckKeys(document, root, "", kNames, "", error)) return std::nullopt;
    BatchReport report;
    const auto textField = [&](const char* name, std::string& out, bool time) {
        const Json& value = root.at(name);
        const std::string where = AtLine(document.LineOf(ChildPath("", name)));
        if (!CheckKind(value, Kind::String, where, name, error)) return false;
        const std::string& content = value.get_ref<const std::string&>();
        std::string why;
        if (time ? ReadTime(content, out, why) : ReadText(content, out, why)) return true;
        error = where + "field '" + name + "': " + why;
        return false;
    };
    if (!textField("program_version", report.programVersion, false) ||
        !textField("batch_time", report.batchTime, true) ||
        !textField("carried_version", report.carriedVersion, false)) {
        return std::nullopt;
    }
    const Json& records = root.at("records");
    const std::string recordsWhere = AtLine(document.LineOf("/records"));
    if (!CheckKind(records, Kind::Array, recordsWhere, "records", error)) return std::nullopt;
    if (records.size() > kMaxReportRecords) {
        error = recordsWhere + "more than " + std::to_string(kMaxReportRecords) + " records (" +
                std::to_string(records.size()) + ")";
        return std::nullopt;
    }
    report.records.resize(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!ReadJsonRecord(document, records[i], i, report.records[i], error)) return std::nullopt;
    }
    return report;
}

// ---- CSV ----

struct CsvRow {
    int line = 1;
    std::vector<std::string> fields;
    std::vector<int> lines;  // where each field begins
};

constexpr std::size_t kMaxCsvFields = 64;

// RFC 4180 fields: a field that begins with a quote runs to the next lone
// quote, "" inside it being one quote. Lines end with CR LF, LF or a lone CR;
// empty lines are skipped. At most one header and kMaxReportRecords lines.
class CsvSplitter {
public:
    explicit CsvSplitter(std::string_view text) : text_(text) {}

    bool Split(std::vector<CsvRow>& rows, std::string& error) {
        while (pos_ < text_.size()) {
            if (AtLineEnd()) {
                SkipLineEnd();
                continue;
            }
            if (rows.size() > kMaxReportRecords) {
                error = AtLine(line_) + "more than " + std::to_string(kMaxReportRecords) + " records";
                return false;
            }
            rows.emplace_back();
            if (!Row(rows.back(), error)) return false;
        }
        return true;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    bool AtLineEnd() const { return !AtEnd() && (text_[pos_] == '\r' || text_[pos_] == '\n'); }
    void SkipLineEnd() {
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
    }

    bool Row(CsvRow& row, std::string& error) {
        row.line = line_;
        for (;;) {
            if (row.fields.size() == kMaxCsvFields) {
                error = AtLine(row.line) + "more than " + std::to_string(kMaxCsvFields) + " fields";
                return false;
            }
            row.fields.emplace_back();
            row.lines.push_back(line_);
            if (!Field(row.fields.back(), row.fields.size(), error)) return false;
            if (AtEnd()) return true;
            if (AtLineEnd()) {
                SkipLineEnd();
                return true;
            }
            ++pos_;  // the comma
        }
    }

    bool Field(std::string& out, std::size_t column, std::string& error) {
        const std::string where = AtLine(line_) + "column " + std::to_string(column) + ": ";
        if (AtEnd() || text_[pos_] != '"') {
            while (!AtEnd() && text_[pos_] != ',' && !AtLineEnd()) {
                if (text_[pos_] == '"') {
                    error = where + "a quote inside a field that does not begin with one";
                    return false;
                }
                out += text_[pos_++];
            }
            return true;
        }
        ++pos_;
        for (;;) {
            if (AtEnd()) {
                error = where + "a quoted field is not closed";
                return false;
            }
            const char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                    out += '"';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            // Line ends inside a field are its text, but still lines of the file.
            if (c == '\n' || (c == '\r' && (pos_ + 1 == text_.size() || text_[pos_ + 1] != '\n'))) ++line_;
            out += c;
            ++pos_;
        }
        if (!AtEnd() && text_[pos_] != ',' && !AtLineEnd()) {
            error = AtLine(line_) + "column " + std::to_string(column) + ": text after the closing quote";
            return false;
        }
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

const std::size_t kCsvColumns = kRecordFields.size() + 1;

bool CheckCsvHeader(const CsvRow& header, std::string& error) {
    if (std::find(header.fields.begin(), header.fields.end(), "would") != header.fields.end()) {
        error = AtLine(header.line) + kDryRunReport;
        return false;
    }
    if (header.fields.size() != kCsvColumns) {
        error = AtLine(header.line) + "the header names " + std::to_string(header.fields.size()) +
                " columns; a report of format " + kFormatText + " has " + std::to_string(kCsvColumns);
        return false;
    }
    for (std::size_t i = 1; i < kCsvColumns; ++i) {
        const std::string& name = header.fields[i];
        if (name != kRecordFields[i - 1].name) {
            error = AtLine(header.line) + "column " + std::to_string(i + 1) + " is " + Shown(name) +
                    "; a report of format " + kFormatText + " has '" + kRecordFields[i - 1].name + "' there";
            return false;
        }
    }
    return true;
}

bool ReadCsvRecord(const CsvRow& row, ReportRecord& record, std::string& error) {
    if (row.fields.size() != kCsvColumns) {
        error = AtLine(row.line) + std::to_string(row.fields.size()) + " fields; a report line has " +
                std::to_string(kCsvColumns);
        return false;
    }
    for (std::size_t i = 0; i < kRecordFields.size(); ++i) {
        std::string why;
        if (!kRecordFields[i].read(ReadCsvCell(row.fields[i + 1]), record, why)) {
            error = AtLine(row.lines[i + 1]) + "field '" + kRecordFields[i].name + "': " + why;
            return false;
        }
    }
    return true;
}

std::optional<BatchReport> ReadCsv(std::string_view text, std::string& error) {
    std::vector<CsvRow> rows;
    if (!CsvSplitter(text).Split(rows, error)) return std::nullopt;
    if (rows.empty()) {
        error = "the file holds no report";
        return std::nullopt;
    }
    const CsvRow& header = rows.front();
    if (header.fields.front() != "format") {
        error = AtLine(header.line) + NoFormat("column");
        return std::nullopt;
    }
    // The format of every line first: a report of another version may differ in anything else.
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].fields.front() != kFormatText) {
            error = AtLine(rows[i].line) + OtherFormat(rows[i].fields.front());
            return std::nullopt;
        }
    }
    if (!CheckCsvHeader(header, error)) return std::nullopt;
    BatchReport report;
    report.records.resize(rows.size() - 1);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (!ReadCsvRecord(rows[i], report.records[i - 1], error)) return std::nullopt;
    }
    return report;
}

std::string TooLarge() {
    return "larger than " + std::to_string(kMaxReportBytes >> 20) + " MiB, more than a report of " +
           std::to_string(kMaxReportRecords) + " cameras can be";
}

}  // namespace

std::optional<BatchReport> ReadReport(std::string_view text, std::string& error) {
    if (text.size() > kMaxReportBytes) {
        error = TooLarge();
        return std::nullopt;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    if (first == text.end()) {
        error = "the file is empty";
        return std::nullopt;
    }
    // A CSV report begins with its "format" column.
    return *first == '{' || *first == '[' ? ReadJson(text, error) : ReadCsv(text, error);
}

std::optional<BatchReport> ReadReportFile(const std::string& path, std::string& error) {
    const std::optional<FileKind> kind = FileKindOf(path);
    if (!kind) {
        error = LastFileError();
        return std::nullopt;
    }
    if (kind->type != FileKind::Type::Regular) {
        error = "not a regular file";
        return std::nullopt;
    }
    // Checked before reading, so that a huge file is not read whole.
    if (kind->size > kMaxReportBytes) {
        error = TooLarge();
        return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(path);
    if (!bytes) {
        error = LastFileError();
        return std::nullopt;
    }
    return ReadReport(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), error);
}

std::vector<CameraAddress> CamerasToRetry(const BatchReport& report, const std::string& carriedVersion) {
    const auto addressOf = [](const ReportRecord& record) -> std::optional<CameraAddress> {
        const std::optional<CameraAddress> parsed = CameraAddress::Parse(record.address);
        if (!parsed) return std::nullopt;
        return CameraAddress{parsed->ip, record.port};
    };
    const auto contains = [](const std::vector<CameraAddress>& list, const CameraAddress& address) {
        return std::find(list.begin(), list.end(), address) != list.end();
    };
    std::vector<CameraAddress> upgraded;
    for (const ReportRecord& record : report.records) {
        if (record.upgraded) {
            if (const auto address = addressOf(record)) upgraded.push_back(*address);
        }
    }
    std::vector<CameraAddress> cameras;
    for (const ReportRecord& record : report.records) {
        if (record.upgraded) continue;
        // A camera that --skip-current left out was no failure.
        const bool leftOutAsCurrent = record.finished && record.started.empty() && !carriedVersion.empty() &&
                                      record.versionBefore == carriedVersion;
        const std::optional<CameraAddress> address = addressOf(record);
        if (leftOutAsCurrent || !address || contains(upgraded, *address) || contains(cameras, *address)) continue;
        cameras.push_back(*address);
    }
    return cameras;
}

}  // namespace qrv
