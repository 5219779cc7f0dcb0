#include "sim/HttpBackend.h"

#include <httplib.h>

#include <charconv>

#include "sim/Camera.h"
#include "sim/ExchangeRegistry.h"

namespace qrv::sim {
namespace {

uint64_t ExchangeId(const httplib::Request& request) {
    const std::string text = request.get_header_value(kExchangeHeader);
    uint64_t id = 0;
    std::from_chars(text.data(), text.data() + text.size(), id);
    return id;
}

void Fill(const Answer& answer, httplib::Response& response) {
    response.status = answer.status;
    for (const auto& [name, value] : answer.headers) response.set_header(name.c_str(), value);
    response.set_content(answer.body, answer.contentType.c_str());
}

}  // namespace

HttpBackend::HttpBackend(ExchangeRegistry& registry)
    : registry_(registry), server_(std::make_unique<httplib::Server>()) {}

HttpBackend::~HttpBackend() { Stop(); }

void HttpBackend::AddRoutes() {
    auto route = [this](Route r) {
        return [this, r](const httplib::Request& request, httplib::Response& response) {
            const uint64_t id = ExchangeId(request);
            const auto entry = registry_.Find(id);
            if (!entry) {
                response.status = 403;
                return;
            }
            Answer answer = entry->camera->Handle(r, *entry->exchange);
            Fill(answer, response);
            registry_.SetAnswer(id, std::move(answer));
        };
    };
    server_->Post("/command/inquiry.cgi", route(Route::Inquiry));
    server_->Get("/command/inquiry.cgi", route(Route::Inquiry));
    server_->Post("/command/versionup.cgi", route(Route::VersionUp));
    server_->Get(R"(/system/[^/]+\.cfg)", route(Route::ConfigFile));
    server_->Post("/command/all-configuration.cgi", route(Route::Restore));
    // httplib calls this for every status from 400 on, including the
    // camera's own refusals, which keep their answer.
    server_->set_error_handler([this, route](const httplib::Request& request, httplib::Response& response) {
        const uint64_t id = ExchangeId(request);
        if (registry_.HasAnswer(id)) return;
        if (response.status == 404 && registry_.Find(id)) {
            route(Route::NotFound)(request, response);
            return;
        }
        response.set_content("<HTML><BODY>" + std::to_string(response.status) + "</BODY></HTML>", "text/html");
    });
}

bool HttpBackend::Start(std::string& error) {
    AddRoutes();
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        error = "cannot bind the HTTP server to 127.0.0.1";
        return false;
    }
    thread_ = std::jthread([this] { server_->listen_after_bind(); });
    // stop() only ends a listen loop that has begun, so Start returns once it
    // has; READY is printed after this anyway.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server_->is_running()) {
        error = "the HTTP server did not start";
        return false;
    }
    return true;
}

void HttpBackend::Stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
}

}  // namespace qrv::sim
