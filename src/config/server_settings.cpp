#include "server_settings.h"

#include <mutex>

#include "base/ip_address.h"

namespace {

std::mutex publish_lock;  // guards the pointer swap only
std::mutex writer_lock;   // serialises UpdateSettings
std::shared_ptr<const ServerSettings> current = std::make_shared<const ServerSettings>();

}  // namespace

std::shared_ptr<const ServerSettings> CurrentSettings() {
    std::lock_guard<std::mutex> guard(publish_lock);
    return current;
}

void UpdateSettings(const std::function<void(ServerSettings&)>& edit) {
    std::lock_guard<std::mutex> writer(writer_lock);
    auto fresh = std::make_shared<ServerSettings>(*CurrentSettings());
    edit(*fresh);
    std::lock_guard<std::mutex> guard(publish_lock);
    current = std::move(fresh);
}

void ResetSettings() {
    std::lock_guard<std::mutex> writer(writer_lock);
    std::lock_guard<std::mutex> guard(publish_lock);
    current = std::make_shared<const ServerSettings>();
}

void DeriveAddressFields(ServerSettings& settings) {
    settings.serverAddress = ParseAddress(settings.IPAddress);
    settings.serverAddressNet = HostToNetwork(settings.serverAddress);
    settings.subnetMask = ParseAddress(settings.SubnetMask);
}
