#include "engine/CameraClient.h"

#include "engine/EngineMessages.h"
#include "engine/JobStage.h"
#include "engine/ReplyItem.h"
#include "platform/HttpClient.h"
#include "platform/Text.h"

namespace qrv {

namespace {

constexpr const char* kInquiryPath = "/command/inquiry.cgi";

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

CameraClient::CameraClient(OwnerPort& owner, std::string address, std::string credentials, const ModelList& models,
                           int slot, const std::atomic<int>* retainFlag, const std::atomic<int>* deleteFlag,
                           const WallTime* batchTime, std::u16string serial, Timing timing)
    : owner_(owner),
      address_(std::move(address)),
      credentials_(std::move(credentials)),
      models_(models),
      slot_(slot),
      retainFlag_(retainFlag),
      deleteFlag_(deleteFlag),
      batchTime_(batchTime),
      serial_(std::move(serial)),
      timing_(timing) {}

CameraClient::~CameraClient() {
    // The inquiry under way reads the account: it ends before the account goes.
    asyncWorker_ = std::jthread();
    Wipe(credentials_);
}

std::string CameraClient::Base64Encode(std::string_view text) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    size_t i = 0;
    auto byte = [&](size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(text[at])); };
    for (; i + 3 <= text.size(); i += 3) {
        const unsigned group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(group >> shift) & 63];
    }
    const size_t rest = text.size() - i;
    if (rest == 1) {
        const unsigned group = byte(i) << 16;
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const unsigned group = byte(i) << 16 | byte(i + 1) << 8;
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += '=';
    }
    return out;
}

// ---- inquiries ---------------------------------------------------------------

std::u16string CameraClient::Inquire(std::string_view body, std::chrono::milliseconds timeout, std::stop_token stop) {
    const std::optional<HttpEndpoint> endpoint = SplitAddress(address_);
    if (!endpoint) return {};
    InquiryRequest request{*endpoint, kInquiryPath, std::string(body), "Authorization: Basic " + credentials_, timeout};
    return ToWide(PostInquiry(request, stop).text);
}

void CameraClient::StartInquiry(std::string_view body) {
    asyncWorker_ = std::jthread();  // stops and joins the one before
    asyncDone_.store(false);
    {
        std::lock_guard lock(asyncMutex_);
        asyncReply_.clear();
        asyncStart_ = std::chrono::steady_clock::now();
    }
    asyncWorker_ = std::jthread([this, body = std::string(body)](std::stop_token stop) {
        std::u16string reply = Inquire(body, timing_.inquiryTimeout, stop);
        {
            std::lock_guard lock(asyncMutex_);
            asyncReply_ = std::move(reply);
        }
        asyncDone_.store(true);
    });
}

bool CameraClient::IsInquiryDone() const { return asyncDone_.load(); }

std::u16string CameraClient::InquiryReply() const {
    std::lock_guard lock(asyncMutex_);
    return asyncReply_;
}

std::chrono::steady_clock::time_point CameraClient::InquiryStartTime() const {
    std::lock_guard lock(asyncMutex_);
    return asyncStart_;
}

// ---- checks ------------------------------------------------------------------

bool CameraClient::IsSupportedModel(std::u16string_view model) const {
    for (const std::string& name : models_) {
        if (ToWide(name) == model) return true;
    }
    return false;
}

// The first successful check fills both texts with the version found before
// the upgrade; later checks only move the version-now text.
void CameraClient::RecordVersion(std::u16string_view reply) {
    const std::optional<std::u16string> version = FindItem(reply, u"SoftVersion=");
    if (!version) return;
    std::lock_guard lock(versionMutex_);
    if (versionBefore_.empty()) {
        if (*version == u"emergency") {
            versionBefore_ = u"unknown";
            emergency_.store(true);
        } else {
            versionBefore_ = u"ver" + *version;
        }
    } else {
        versionNow_ = u"ver" + *version;
    }
    if (versionNow_.empty()) versionNow_ = u"ver" + *version;
}

void CameraClient::ShowModelMessage() {
    const std::u16string first = models_.empty() ? std::u16string() : ToWide(models_.front());
    ShowBox(owner_, u"This program works for the " + first + u". Please select the correct camera.",
            kMsgInformation, BoxIcon::Exclamation);
}

bool CameraClient::CheckModel(std::u16string_view reply, bool show) {
    const std::u16string model = FindItem(reply, u"ModelName=").value_or(u"");
    if (!IsSupportedModel(model)) {
        if (show) ShowModelMessage();
        return false;
    }
    RecordVersion(reply);
    return true;
}

bool CameraClient::ReadIdentity(std::u16string_view reply, std::u16string& model, std::u16string& serial, bool show) {
    model = FindItem(reply, u"ModelName=").value_or(u"");
    serial.clear();
    if (!IsSupportedModel(model)) {
        if (show) ShowModelMessage();
        return false;
    }
    RecordVersion(reply);
    serial = FindItem(reply, u"Serial=").value_or(u"");
    return true;
}

void CameraClient::RefuseAdministrator(int stage, const std::u16string& text) {
    if (IsAutomatic()) {
        SetStage(stage);
    } else {
        ShowBox(owner_, text, kMsgInformation, BoxIcon::Exclamation);
    }
}

bool CameraClient::CheckAdministrator(std::u16string_view reply) {
    if (reply.find(u"401 Unauthorized") != std::u16string_view::npos) {
        RefuseAdministrator(kError3, u"Please enter correct user name and password for the administrator.");
        return false;
    }
    const std::optional<std::u16string> administrator = FindItem(reply, u"Administrator=");
    if (!administrator) {
        RefuseAdministrator(kError1, IsAutomatic() ? u"" : MessageText(kMsgCameraNotFound, owner_));
        return false;
    }
    // The camera reports its administrator in the same Base64 form as ours.
    if (ReplaceAll(*administrator, u"%3D", u"=") != ToWide(credentials_)) {
        RefuseAdministrator(kError3, u"Level 4 users other than Administrator cannot run the program.");
        return false;
    }
    return true;
}

// ---- uploads -------------------------------------------------------------------

void CameraClient::SetUploadData(std::span<const std::uint8_t> data) { uploadData_ = data; }

int CameraClient::UploadFirmware(std::stop_token stop) { return PostForm(FormKind::Firmware, stop); }

int CameraClient::RestoreConfiguration(std::stop_token stop) { return PostForm(FormKind::Configuration, stop); }

int CameraClient::PostForm(FormKind kind, std::stop_token stop) {
    const std::optional<HttpEndpoint> endpoint = SplitAddress(address_);
    if (!endpoint) return kPostSendFailed;
    const MultipartForm form = MakeMultipartForm(kind, SecondsSinceEpoch());
    const std::string authorization =
        kind == FormKind::Firmware ? "Authorization: Basic " + credentials_ : std::string(kFactoryAuthorization);
    const int timerId = kJobTickTimer + slot_;

    MultipartPost post;
    post.endpoint = *endpoint;
    post.path = form.path;
    post.headers = form.Headers(uploadData_.size(), authorization);
    post.head = form.head;
    post.data = uploadData_;
    post.tail = form.tail;
    post.receiveTimeout = timing_.uploadReceiveTimeout;
    post.totalLimit = timing_.TransferLimit(form.head.size() + uploadData_.size() + form.tail.size());
    post.onPiece = [this](size_t) { StepProgress(1); };
    post.onBodySent = [this, timerId] {
        SetStage(kOverwriting);
        // A camera in emergency state does not answer the upload.
        if (IsEmergency()) return false;
        ResetTicks();
        owner_.StartTimer(timerId, static_cast<int>(timing_.jobTick.count()));
        return true;
    };
    post.onAnswerWaitEnded = [this, timerId] { owner_.StopTimer(timerId); };
    return PostMultipart(post, stop);
}

// ---- links and state -----------------------------------------------------------

void CameraClient::SetProgress(ProgressSink* control, std::atomic<int>* counter) {
    progress_ = control;
    counter_ = counter;
}

void CameraClient::StepProgress(int delta) {
    if (progress_) progress_->Step(delta);
    if (counter_) counter_->fetch_add(delta);
}

void CameraClient::SetProgressPosition(int position) {
    if (progress_) progress_->SetPosition(position);
    if (counter_) counter_->store(position);
}

std::u16string CameraClient::VersionBefore() const {
    std::lock_guard lock(versionMutex_);
    return versionBefore_;
}

std::u16string CameraClient::VersionNow() const {
    std::lock_guard lock(versionMutex_);
    return versionNow_;
}

}  // namespace qrv
