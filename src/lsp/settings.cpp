#include "settings.h"

#include <vorn/warning_options.h>

namespace lsp {

std::optional<WarningsSetting> warnings_setting(const nlohmann::json& settings) {
    if (!settings.is_object())
        return std::nullopt;
    const nlohmann::json* section = &settings;
    auto vorn = settings.find("vorn");
    if (vorn != settings.end() && vorn->is_object())
        section = &*vorn;
    auto list = section->find("warnings");
    if (list == section->end() || !list->is_array())
        return std::nullopt;
    vorn::WarningOptions options;
    WarningsSetting setting;
    std::size_t read = 0;
    for (const nlohmann::json& entry : *list) {
        if (++read > MaxWarningOptions)
            break;
        if (!entry.is_string()) {
            setting.unknown.push_back(entry.dump());
            continue;
        }
        std::string option = entry.get<std::string>();
        // "-Wall" as well as "all".
        if (option.compare(0, 2, "-W") == 0)
            option.erase(0, 2);
        if (vorn::apply_warning_option(options, option))
            setting.unknown.push_back("'" + option + "'");
    }
    setting.enabled = options.enabled;
    return setting;
}

}  // namespace lsp
