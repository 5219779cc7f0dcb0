#include "sim/Camera.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "sim/Base64.h"
#include "sim/EventLog.h"
#include "sim/FormUpload.h"
#include "sim/Scheduler.h"
#include "sim/TarMembers.h"

namespace qrv::sim {
namespace {

constexpr std::string_view kFamilyConfigName = "qrv-k7";
constexpr int kEndlessPauseMs = 10;  // between two chunks of config-endless, scaled

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

const char* StateName(int state) {
    static const char* const kNames[] = {"up", "writing", "rebooting", "reconfiguring", "down"};
    return kNames[state];
}

// The camera reports accounts in Base64 with "=" written "%3D".
std::string ReportedCredentials(const std::string& credentials) {
    std::string out;
    for (char c : Base64Encode(credentials)) out += c == '=' ? std::string("%3D") : std::string(1, c);
    return out;
}

// The value of `key` in a form text "a=1&b=2"; a trailing line end is not
// part of the value.
std::string FormValue(std::string_view form, std::string_view key) {
    size_t start = 0;
    while (start <= form.size()) {
        auto amp = form.find('&', start);
        if (amp == std::string_view::npos) amp = form.size();
        const auto item = form.substr(start, amp - start);
        if (item.size() > key.size() && item.substr(0, key.size()) == key && item[key.size()] == '=') {
            auto value = item.substr(key.size() + 1);
            while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.remove_suffix(1);
            return std::string(value);
        }
        start = amp + 1;
    }
    return {};
}

std::string HtmlPage(std::string_view title, std::string_view text) {
    return "<HTML><HEAD><TITLE>" + std::string(title) + "</TITLE></HEAD><BODY>" + std::string(text) + "</BODY></HTML>";
}

}  // namespace

Camera::Camera(CameraSetup setup, EventLog& log, Scheduler& scheduler, double timeScale)
    : setup_(std::move(setup)),
      label_(setup_.Label()),
      log_(log),
      scheduler_(scheduler),
      timeScale_(timeScale),
      bootTime_(std::chrono::steady_clock::now()) {
    settings_.model = setup_.model;
    settings_.serial = setup_.serial;
    settings_.mac = setup_.mac;
    settings_.admin = setup_.admin;
    settings_.users = setup_.users;
    settings_.dhcp = setup_.dhcp;
    settings_.dnsAuto = setup_.dnsAuto;
    version_ = setup_.version;
}

int Camera::Scaled(int productionMs) const {
    return static_cast<int>(std::llround(static_cast<double>(productionMs) * timeScale_));
}

void Camera::AnnounceStart() {
    std::lock_guard lock(mutex_);
    log_.Emit("state", label_, JsonFields().Str("state", "up").Str("version", version_));
}

DiscoveryFacts Camera::Discovery() const {
    std::lock_guard lock(mutex_);
    DiscoveryFacts facts;
    facts.up = state_ == State::Up;
    facts.version = ReportedVersion();
    facts.serial = ReportedSerial();
    facts.dhcp = settings_.dhcp;
    facts.dnsAuto = settings_.dnsAuto;
    return facts;
}

Answer Camera::Handle(Route route, const Exchange& exchange) {
    if (setup_.faults.always401) return Unauthorized(exchange, "auth", "always401 fault: the camera refuses every request");
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Writing) {
            // A camera busy writing its firmware answers nothing; the
            // connection ends when it restarts.
            Answer busy;
            busy.delivery = Answer::Delivery::Hold;
            log_.Emit("verdict", label_,
                      JsonFields()
                          .Int("exchange", int64_t(exchange.id))
                          .Str("what", "answer")
                          .Bool("ok", false)
                          .Str("reason", "the camera is writing its firmware and answers nothing until it restarts"));
            return busy;
        }
    }
    switch (route) {
        case Route::Inquiry: return Inquiry(exchange);
        case Route::VersionUp: return VersionUp(exchange);
        case Route::ConfigFile: return ConfigDownload(exchange);
        case Route::Restore: return Restore(exchange);
        case Route::NotFound: break;
    }
    return NotFound(exchange);
}

Answer Camera::NotFound(const Exchange& exchange) {
    Answer answer;
    answer.status = 404;
    answer.contentType = "text/html";
    answer.body = HtmlPage("404 Not Found", "The requested URL " + exchange.head.path + " was not found.");
    return answer;
}

void Camera::Verdict(const Exchange& exchange, std::string_view what, bool ok, const std::string& reason,
                     const JsonFields& extra) {
    log_.Emit("verdict", label_, JsonFields().Int("exchange", int64_t(exchange.id)).Str("what", what).Bool("ok", ok).Str("reason", reason).Append(extra));
}

Answer Camera::Refusal(const Exchange& exchange, int status, std::string_view what, const std::string& reason) {
    Verdict(exchange, what, false, reason, {});
    Answer answer;
    answer.status = status;
    answer.contentType = "text/html";
    answer.body = HtmlPage(std::to_string(status) + " Refused", reason);
    return answer;
}

Answer Camera::Unauthorized(const Exchange& exchange, std::string_view what, const std::string& reason) {
    Verdict(exchange, what, false, reason, {});
    Answer answer;
    answer.status = 401;
    answer.contentType = "text/html";
    answer.headers.emplace_back("WWW-Authenticate", "Basic realm=\"" + setup_.model + "\"");
    answer.body = HtmlPage("401 Unauthorized", "401 Unauthorized");
    return answer;
}

bool Camera::DecodeCredentials(const Exchange& exchange, std::string& credentials, std::string& reason) const {
    const auto values = HeaderValues(exchange.head.headers, "Authorization");
    if (values.empty()) {
        reason = "no Authorization header";
        return false;
    }
    if (values.size() > 1) {
        reason = "more than one Authorization header";
        return false;
    }
    const std::string& value = values.front();
    if (value.size() < 6 || !SameName(std::string_view(value).substr(0, 6), "Basic ")) {
        reason = "Authorization is not Basic: " + value;
        return false;
    }
    auto token = std::string_view(value).substr(6);
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    const auto decoded = Base64Decode(token);
    if (!decoded) {
        reason = "credentials are not valid Base64: " + std::string(token);
        return false;
    }
    credentials = *decoded;
    return true;
}

Camera::Who Camera::Authenticate(const Exchange& exchange, std::string& reason) const {
    std::string credentials;
    if (!DecodeCredentials(exchange, credentials, reason)) return Who::Nobody;
    std::lock_guard lock(mutex_);
    if (credentials == settings_.admin.credentials) return Who::Administrator;
    for (const auto& user : settings_.users)
        if (credentials == user.credentials) return Who::User;
    reason = "no account with these credentials";
    return Who::Nobody;
}

std::string Camera::ReportedSerial() const {
    // Still fit to be part of a file name once its control characters go.
    return setup_.faults.textControl ? setup_.serial + "\x1b[2J\x08\x7f" : setup_.serial;
}

std::string Camera::ReportedVersion() const { return setup_.faults.versionFormula ? "=1+2" : version_; }

std::string Camera::FaultsOfSystemReply() const {
    std::string names;
    if (setup_.faults.textControl) names = "text-control";
    if (setup_.faults.versionFormula) names += std::string(names.empty() ? "" : ",") + "version-formula";
    return names;
}

std::string Camera::SystemItems() const {
    std::lock_guard lock(mutex_);
    const auto upSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - bootTime_).count();
    std::string items = "ModelName=" + setup_.model + "&Serial=" + ReportedSerial() + "&SoftVersion=" + ReportedVersion() +
                        "&MacAddress=" + setup_.mac;
    if (setup_.docType) items += "&DocType=" + *setup_.docType;
    const std::string name = setup_.faults.textControl ? "=cmd|\x1b[31mred\x07\x08\x7f" : "Camera-" + setup_.serial;
    items += "&CameraName=" + name + "&Uptime=" + std::to_string(upSeconds) + "&Language=en";
    return items;
}

std::string Camera::UserItems() const {
    std::lock_guard lock(mutex_);
    std::string items = "Administrator=" + ReportedCredentials(settings_.admin.credentials);
    for (size_t i = 0; i < settings_.users.size(); ++i) {
        const auto n = std::to_string(i + 1);
        items += "&User" + n + "=" + ReportedCredentials(settings_.users[i].credentials) + "&UserLevel" + n + "=" +
                 std::to_string(settings_.users[i].level);
    }
    return items;
}

std::string Camera::NetworkItems() const {
    std::lock_guard lock(mutex_);
    return "MacAddress=" + setup_.mac + "&IpAddress=" + setup_.AddressText() +
           "&SubnetMask=255.0.0.0&DefaultGateway=127.0.0.1&HttpPort=" + std::to_string(setup_.port) +
           "&Dhcp=" + (settings_.dhcp ? "on" : "off") + "&DnsAuto=" + (settings_.dnsAuto ? "on" : "off");
}

Answer Camera::Inquiry(const Exchange& exchange) {
    // The program posts "inq=..." as the body; a browser may put it in the query.
    const auto question = exchange.head.target.find('?');
    std::string inq = FormValue(exchange.body, "inq");
    if (inq.empty() && question != std::string::npos)
        inq = FormValue(std::string_view(exchange.head.target).substr(question + 1), "inq");
    if (inq != "system" && inq != "user" && inq != "network")
        return Refusal(exchange, 400, "inquiry", "unknown inquiry '" + inq + "'");
    if (inq != "system") {
        std::string reason;
        if (Authenticate(exchange, reason) == Who::Nobody) return Unauthorized(exchange, "auth", "inq=" + inq + ": " + reason);
    }
    Answer answer;
    if (setup_.faults.garbage) {
        static constexpr char kGarbage[] = "\x01\x02" "#!garbage from a confused camera!#" "\xfe\xff" " no items here";
        answer.body.assign(kGarbage, sizeof kGarbage - 1);
    } else if (inq == "system") {
        answer.body = SystemItems();
        if (setup_.faults.bigReply) {
            answer.body += "&Notes=";
            answer.body.append(6000, 'n');
        }
    } else if (inq == "user") {
        answer.body = UserItems();
    } else {
        answer.body = NetworkItems();
    }
    JsonFields fields;
    fields.Str("inq", inq);
    if (inq == "system" && !setup_.faults.garbage && !FaultsOfSystemReply().empty())
        fields.Str("fault", FaultsOfSystemReply());
    Verdict(exchange, "inquiry", true, "inq=" + inq, fields);
    return answer;
}

Answer Camera::VersionUp(const Exchange& exchange) {
    const bool emergency = [this] {
        std::lock_guard lock(mutex_);
        return version_ == "emergency";
    }();
    if (!emergency) {
        // Only the administrator may replace the firmware; a camera in its
        // emergency state takes it from anyone.
        std::string reason;
        const Who who = Authenticate(exchange, reason);
        if (who != Who::Administrator)
            return Unauthorized(exchange, "upload", who == Who::User ? "the account is not the administrator" : reason);
    }
    const FormUpload form = ReadFormUpload(exchange.head.headers, exchange.body, "setting_file", "upgrade.bin");
    if (!form.ok) return Refusal(exchange, 400, "upload", form.reason);
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Up) {
            Verdict(exchange, "upload", false, "the camera is busy", {});
            Answer busy;
            busy.status = 503;
            busy.body = "busy";
            return busy;
        }
    }
    Verdict(exchange, "upload", true, "firmware form of " + std::to_string(form.content.size()) + " bytes",
            JsonFields().Int("image_length", static_cast<int64_t>(form.content.size())).Str("image_sha256", Sha256Hex(form.content)));

    const TarListing listing = ListUstarMembers(form.content);
    std::string why;
    const bool fits = ImageFits(listing, setup_.docType.value_or(""), why);
    Verdict(exchange, "image", fits, fits ? "the image fits this camera" : why, {});

    Answer answer;
    if (setup_.faults.uploadNoAnswer) {
        Verdict(exchange, "answer", false, "upload-no-answer fault: the camera keeps the connection and never answers", {});
        answer.delivery = Answer::Delivery::Hold;
        return answer;
    }
    const bool upgrade = fits && !setup_.faults.rebootOld;
    {
        std::lock_guard lock(mutex_);
        SetState(State::Writing);
        answer.downtime.versionAfter = upgrade ? setup_.newVersion : version_;
    }
    answer.downtime.kind = Downtime::Kind::Reboot;
    answer.downtime.ms = Scaled(setup_.rebootMs);
    answer.downtime.forever = setup_.faults.neverBack;
    answer.downtime.factoryAccounts = upgrade;
    answer.waitMs = Scaled(setup_.writeMs);
    answer.contentType = "text/html";
    answer.body = HtmlPage("Version up", "Version up completed. The camera restarts.");
    // A camera in its emergency state never answers the upload.
    if (emergency) answer.delivery = Answer::Delivery::Silent;
    return answer;
}

Answer Camera::ConfigDownload(const Exchange& exchange) {
    const std::string& path = exchange.head.path;
    const std::string name = path.substr(8, path.size() - 8 - 4);  // between "/system/" and ".cfg"
    if (name != kFamilyConfigName && name != Lower(setup_.model)) return NotFound(exchange);
    std::string reason;
    const Who who = Authenticate(exchange, reason);
    if (who != Who::Administrator)
        return Unauthorized(exchange, "config", who == Who::User ? "the account is not the administrator" : reason);
    Answer answer;
    {
        std::lock_guard lock(mutex_);
        answer.body = EncodeConfig(settings_);
    }
    answer.contentType = "application/octet-stream";
    const std::string sha = Sha256Hex(answer.body);
    // The faults are logged like the file: a config verdict, not ok, with the
    // fault's name.
    auto fault = [&](std::string_view name, const std::string& what, bool withFile) {
        JsonFields fields;
        fields.Str("fault", name);
        if (withFile) fields.Str("config_sha256", sha);
        Verdict(exchange, "config", false, std::string(name) + " fault: " + what, fields);
    };
    switch (setup_.faults.config) {
        case ConfigFault::None: break;
        case ConfigFault::Html:
            fault("html-config", "a web page instead of the file", false);
            answer.contentType = "text/html";
            answer.body = HtmlPage("Setting", "<FORM ACTION=\"/command/login.cgi\">Please log in again.</FORM>");
            return answer;
        case ConfigFault::Empty:
            fault("config-empty", "200 with an empty body", false);
            answer.body.clear();
            return answer;
        case ConfigFault::HtmlLower:
            fault("config-html-lower", "a lowercase web page after white space", false);
            answer.contentType = "text/html";
            answer.body = " \r\n\t\n<!doctype html><html><body>login</body></html>";
            return answer;
        case ConfigFault::Redirect:
            fault("config-redirect", "302 to /login.html", false);
            answer.status = 302;
            answer.contentType = "text/plain";
            answer.headers.emplace_back("Location", "/login.html");
            answer.body = "Moved";
            return answer;
        case ConfigFault::Cut:
            fault("config-cut", "chunked, half the file, then the connection closes without the last chunk", true);
            answer.stream = Answer::Stream::Cut;
            return answer;
        case ConfigFault::Drip:
            answer.stream = Answer::Stream::Drip;
            answer.pauseMs = std::max(1, Scaled(setup_.faults.configDripMs));
            fault("config-drip", "the file a byte every " + std::to_string(answer.pauseMs) + " ms", true);
            return answer;
        case ConfigFault::Endless:
            fault("config-endless", "chunked configuration lines without end", false);
            answer.stream = Answer::Stream::Endless;
            answer.pauseMs = std::max(1, Scaled(kEndlessPauseMs));
            answer.contentType = "text/plain";
            answer.body.clear();
            return answer;
    }
    Verdict(exchange, "config", true, "configuration file of " + std::to_string(answer.body.size()) + " bytes",
            JsonFields().Str("config_sha256", sha));
    return answer;
}

Answer Camera::Restore(const Exchange& exchange) {
    int tries = 0;
    {
        std::lock_guard lock(mutex_);
        tries = ++restoreTries_;
    }
    if (tries <= setup_.faults.restoreRefuse) {
        Verdict(exchange, "restore", false,
                "restore-refuse fault: connection closed without an answer (try " + std::to_string(tries) + " of " +
                    std::to_string(setup_.faults.restoreRefuse) + " refused)",
                {});
        Answer answer;
        answer.delivery = Answer::Delivery::Drop;
        return answer;
    }
    if (tries <= setup_.faults.restoreRefuse + setup_.faults.restoreReject) {
        return Refusal(exchange, 400, "restore",
                       "restore-reject fault: answered 400, nothing applied (try " + std::to_string(tries) + ")");
    }
    std::string credentials, reason;
    if (!DecodeCredentials(exchange, credentials, reason)) return Unauthorized(exchange, "restore", reason);
    if (credentials != FactoryAdministrator().credentials)
        return Unauthorized(exchange, "restore", "the restore takes only the factory administrator credentials");
    const FormUpload form = ReadFormUpload(exchange.head.headers, exchange.body, "Restore", "temp.cfg");
    if (!form.ok) return Refusal(exchange, 400, "restore", form.reason);
    const ConfigRead config = DecodeConfig(form.content);
    if (!config.ok) return Refusal(exchange, 400, "restore", config.reason);
    if (config.settings.model != setup_.model)
        return Refusal(exchange, 400, "restore", "configuration file is for a " + config.settings.model + ", not a " + setup_.model);
    Answer answer;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Up) {
            answer.status = 503;
            answer.body = "busy";
            return answer;
        }
        settings_.admin = config.settings.admin;
        settings_.users = config.settings.users;
        settings_.dhcp = config.settings.dhcp;
        settings_.dnsAuto = config.settings.dnsAuto;
    }
    Verdict(exchange, "restore", true, "configuration applied",
            JsonFields()
                .Bool("serial_matches", config.settings.serial == setup_.serial)
                .Int("accounts", static_cast<int64_t>(1 + config.settings.users.size())));
    answer.contentType = "text/html";
    answer.body = HtmlPage("Restore", "The configuration was restored. The camera restarts.");
    answer.downtime.kind = Downtime::Kind::Reconfigure;
    answer.downtime.ms = Scaled(setup_.reconfigMs);
    return answer;
}

void Camera::SetState(State state) {
    state_ = state;
    log_.Emit("state", label_, JsonFields().Str("state", StateName(static_cast<int>(state))).Str("version", version_));
}

void Camera::BeginDowntime(const Downtime& downtime, uint64_t keepConnection) {
    if (downtime.kind == Downtime::Kind::None) return;
    {
        std::lock_guard lock(mutex_);
        SetState(downtime.forever ? State::Down : downtime.kind == Downtime::Kind::Reboot ? State::Rebooting
                                                                                           : State::Reconfiguring);
    }
    if (power_) power_->PowerOff(keepConnection);
    if (downtime.forever) return;
    scheduler_.After(std::chrono::milliseconds(downtime.ms), [this, downtime] { FinishDowntime(downtime); });
}

void Camera::FinishDowntime(const Downtime& downtime) {
    {
        std::lock_guard lock(mutex_);
        if (downtime.kind == Downtime::Kind::Reboot) {
            version_ = downtime.versionAfter;
            bootTime_ = std::chrono::steady_clock::now();
            if (downtime.factoryAccounts) {
                settings_.admin = FactoryAdministrator();
                settings_.users.clear();
            }
        }
    }
    std::string error;
    if (power_ && !power_->PowerOn(error)) {
        std::lock_guard lock(mutex_);
        state_ = State::Down;
        log_.Emit("state", label_, JsonFields().Str("state", "down").Str("version", version_).Str("reason", error));
        return;
    }
    std::lock_guard lock(mutex_);
    SetState(State::Up);
}

}  // namespace qrv::sim
