#include "app/EnvironmentSource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <mutex>

#include "platform/Environment.h"

namespace {

struct Installed {
    std::mutex mutex;
    std::shared_ptr<EnvironmentSource> source;
};

Installed& installed() {
    static Installed instance;
    return instance;
}

} // namespace

std::shared_ptr<EnvironmentSource> EnvironmentSource::current() {
    std::lock_guard lock(installed().mutex);
    if (!installed().source)
        installed().source = std::make_shared<SystemEnvironmentSource>();
    return installed().source;
}

void EnvironmentSource::install(std::shared_ptr<EnvironmentSource> source) {
    std::lock_guard lock(installed().mutex);
    installed().source = std::move(source);
}

SystemEnvironmentSource::SystemEnvironmentSource() {
    for (const auto& entry : Platform::env::block())
        startBlock_.push_back(wstr::fromUtf8(entry.c_str()));
}

bool SystemEnvironmentSource::read(std::vector<wstr>& block) {
    if (readUserManager(block))
        return true;
    block = startBlock_;
    return true;
}

bool SystemEnvironmentSource::readUserManager(std::vector<wstr>& block) {
    QProcess busctl;
    busctl.start(
        QStringLiteral("busctl"),
        {QStringLiteral("--user"), QStringLiteral("--json=short"), QStringLiteral("get-property"),
         QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
         QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("Environment")});
    if (!busctl.waitForFinished(answerTimeoutMs)) {
        busctl.kill();
        busctl.waitForFinished(-1);
        return false;
    }
    if (busctl.exitStatus() != QProcess::NormalExit || busctl.exitCode() != 0)
        return false;
    const QJsonDocument answer = QJsonDocument::fromJson(busctl.readAllStandardOutput());
    const QJsonValue data = answer.object().value(QStringLiteral("data"));
    if (!data.isArray())
        return false;
    block.clear();
    for (const QJsonValue& entry : data.toArray())
        block.push_back(entry.toString().toStdWString());
    return true;
}
