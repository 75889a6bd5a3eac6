#include "ordinals/credentials.h"

#include <utility>

#include "core/hex.h"

namespace ordinals {

std::string credential_label(std::string_view kind) {
    static const std::pair<std::string_view, std::string_view> LABELS[] = {
        {"id_age", "ID-age"},       {"id_addr", "ID-addr"},
        {"id_photo", "ID-gov-photo"}, {"id_bank", "ID-bank"},
        {"id_paypal", "ID-paypal"},   {"id_code_sign", "code-signing-ID"},
        {"id_web_sign", "website-signing-ID"},
    };
    for (const auto& [k, label] : LABELS)
        if (k == kind) return std::string(label);
    return "";
}

bool is_credential_json(const core::Json& j) {
    return j.is_object() && core::json_string(j, "protocol") == "OV-Identity" &&
           core::json_string(j, "type") == "id_issue";
}

bool parse_credential_content(std::string_view text, core::Json& out) {
    out = nullptr;
    if (text.empty() || text.size() > MAX_CREDENTIAL_BYTES || text[0] != '{') return false;
    core::Json j;
    if (!core::parse_json(text, j) || !is_credential_json(j)) return false;
    out = std::move(j);
    return true;
}

std::string credential_name(const core::Json& credential, std::string_view identity_pub) {
    std::string label = credential_label(core::json_string(credential, "kind"));
    if (label.empty()) return "";
    std::string subject = core::lower_ascii(core::json_string(credential, "subject"));
    std::string handle = core::json_string(credential, "subject_handle");
    if (subject != core::lower_ascii(identity_pub) && !handle.empty())
        return label + " (" + handle.substr(0, handle.find('@')) + ")";
    return label;
}

}  // namespace ordinals
