#include "packages/PluginInternal.h"

#include "packages/PackageInternal.h"
#include "packages/PluginMsg.h"

PluginInternal::PluginInternal(const wstr& shortName)
    : Plugin(PackageInternal::packageName() + L"." + shortName) {}

void PluginInternal::dispatchEvent(const PluginMsg& msg) {
    switch (msg.kind()) {
    case PluginMsg::kindCatalog:
        onCatalog();
        break;
    case PluginMsg::kindExecute:
        onExecute(msg.items(), msg.action());
        break;
    case PluginMsg::kindActivated:
        onActivated();
        break;
    default:
        break;
    }
}
