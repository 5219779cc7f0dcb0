#include "tests/support/SimEvent.h"

#include <cctype>
#include <cstdlib>

namespace qrv::test {
namespace {

// A small reader for the simulator's JSON lines: objects, arrays of arrays
// of strings, strings, numbers and literals.
class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    bool ReadEvent(SimEvent& event) {
        if (!Expect('{')) return false;
        Skip();
        if (Peek() == '}') return ++pos_, true;
        while (true) {
            std::string key;
            if (!ReadString(key) || !Expect(':')) return false;
            if (!ReadMember(key, event)) return false;
            Skip();
            if (Peek() == ',') {
                ++pos_;
                continue;
            }
            if (!Expect('}')) return false;
            Skip();
            return pos_ == text_.size();
        }
    }

private:
    bool ReadMember(const std::string& key, SimEvent& event) {
        Skip();
        if (Peek() == '[') {
            if (key != "headers") return SkipValue();
            return ReadHeaders(event.headers);
        }
        std::string value;
        bool isString = Peek() == '"';
        if (isString ? !ReadString(value) : !ReadScalar(value)) return false;
        event.fields[key] = value;
        Assign(key, value, event);
        return true;
    }

    static void Assign(const std::string& key, const std::string& value, SimEvent& e) {
        const auto number = [&] { return std::strtoull(value.c_str(), nullptr, 10); };
        if (key == "seq") e.seq = number();
        else if (key == "time") e.time = std::strtod(value.c_str(), nullptr);
        else if (key == "kind") e.kind = value;
        else if (key == "camera") e.camera = value;
        else if (key == "exchange") e.exchange = number();
        else if (key == "connection") e.connection = number();
        else if (key == "method") e.method = value;
        else if (key == "target") e.target = value;
        else if (key == "path") e.path = value;
        else if (key == "http_version") e.httpVersion = value;
        else if (key == "body_length") e.bodyLength = number();
        else if (key == "body_sha256") e.bodySha256 = value;
        else if (key == "complete") e.complete = value == "true";
        else if (key == "capture") e.capture = value;
        else if (key == "status") e.status = static_cast<int>(number());
        else if (key == "what") e.what = value;
        else if (key == "ok") e.ok = value == "true";
        else if (key == "reason") e.reason = value;
        else if (key == "state") e.state = value;
        else if (key == "version") e.version = value;
    }

    bool ReadHeaders(std::vector<std::pair<std::string, std::string>>& headers) {
        if (!Expect('[')) return false;
        Skip();
        if (Peek() == ']') return ++pos_, true;
        while (true) {
            std::string name, value;
            if (!Expect('[') || !ReadString(name) || !Expect(',') || !ReadString(value) || !Expect(']')) return false;
            headers.emplace_back(std::move(name), std::move(value));
            Skip();
            if (Peek() == ',') {
                ++pos_;
                continue;
            }
            return Expect(']');
        }
    }

    bool SkipValue() {
        Skip();
        if (Peek() == '"') {
            std::string ignored;
            return ReadString(ignored);
        }
        if (Peek() == '[' || Peek() == '{') {
            const char close = Peek() == '[' ? ']' : '}';
            ++pos_;
            Skip();
            if (Peek() == close) return ++pos_, true;
            while (true) {
                if (close == '}') {
                    std::string key;
                    if (!ReadString(key) || !Expect(':')) return false;
                }
                if (!SkipValue()) return false;
                Skip();
                if (Peek() == ',') {
                    ++pos_;
                    Skip();
                    continue;
                }
                return Expect(close);
            }
        }
        std::string ignored;
        return ReadScalar(ignored);
    }

    bool ReadScalar(std::string& value) {
        Skip();
        const size_t start = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.' ||
                                       text_[pos_] == '-' || text_[pos_] == '+'))
            ++pos_;
        value = text_.substr(start, pos_ - start);
        return !value.empty();
    }

    bool ReadString(std::string& out) {
        Skip();
        if (Peek() != '"') return false;
        ++pos_;
        out.clear();
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) return false;
            const char e = text_[pos_++];
            switch (e) {
                case '"': case '\\': case '/': out += e; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    if (pos_ + 4 > text_.size()) return false;
                    const unsigned code = static_cast<unsigned>(std::strtoul(text_.substr(pos_, 4).c_str(), nullptr, 16));
                    pos_ += 4;
                    // The simulator writes every byte outside printable ASCII
                    // as \u00XX: the code is the byte itself.
                    if (code > 0xFF) return false;
                    out += static_cast<char>(code);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    bool Expect(char c) {
        Skip();
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Skip() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

}  // namespace

std::string SimEvent::Field(const std::string& name) const {
    const auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
}

std::optional<std::string> SimEvent::Header(const std::string& name) const {
    for (const auto& [n, v] : headers) {
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(n[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same) return v;
    }
    return std::nullopt;
}

std::optional<SimEvent> ParseSimEvent(const std::string& line) {
    SimEvent event;
    JsonReader reader(line);
    if (!reader.ReadEvent(event)) return std::nullopt;
    return event;
}

}  // namespace qrv::test
