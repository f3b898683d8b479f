#include <gio/gio.h>

#include "platform/linux/settings/ShortcutStore.h"

namespace kivora::linux_::settings {
namespace {

class GnomeStore : public ShortcutStore {
public:
    explicit GnomeStore(GSettingsSchemaSource* source) : source_(source) {}
    ~GnomeStore() override { g_settings_schema_source_unref(source_); }
    GnomeStore(const GnomeStore&) = delete;
    GnomeStore& operator=(const GnomeStore&) = delete;

    std::optional<std::vector<std::string>> accelerators(
        const Counterpart& setting) const override {
        const std::string schemaID(setting.group);
        const std::string key(setting.name);
        // GSettings aborts on a schema or key it does not know: ask the source first.
        GSettingsSchema* schema = g_settings_schema_source_lookup(source_, schemaID.c_str(), TRUE);
        if (schema == nullptr) {
            return std::nullopt;
        }
        std::optional<std::vector<std::string>> out;
        if (g_settings_schema_has_key(schema, key.c_str())) {
            GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
            GVariant* value = g_settings_get_value(settings, key.c_str());
            out = strings(value);
            g_variant_unref(value);
            g_object_unref(settings);
        }
        g_settings_schema_unref(schema);
        return out;
    }

private:
    // Older releases keep one accelerator as a string, newer ones a list.
    static std::optional<std::vector<std::string>> strings(GVariant* value) {
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
            return std::vector<std::string>{g_variant_get_string(value, nullptr)};
        }
        if (!g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
            return std::nullopt;
        }
        std::vector<std::string> out;
        gsize count = 0;
        const gchar** items = g_variant_get_strv(value, &count);
        for (gsize i = 0; i < count; ++i) {
            out.emplace_back(items[i]);
        }
        g_free(items);
        return out;
    }

    GSettingsSchemaSource* source_;
};

}  // namespace

OpenedStore openGnomeStore() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return {nullptr, "no GSettings schemas are installed"};
    }
    return {std::make_unique<GnomeStore>(g_settings_schema_source_ref(source)), {}};
}

}  // namespace kivora::linux_::settings
