#include "platform/linux/NutServerConfig.h"

#include <QRegularExpression>
#include <QSettings>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

NutServerConfigResult refuse(const QString& path, const QString& why) {
    return {std::nullopt, path + QStringLiteral(": ") + why};
}

// The words of a key that may list several values ("a b", "a, b").
QStringList words(const QVariant& value) {
    QStringList result;
    for (const QString& part : value.toStringList())
        result += part.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return result;
}

// A value of a single-valued key: one word of printable ASCII without spaces or quotes,
// which NUT clients send unquoted. Empty when it is not.
QString singleWord(const QVariant& value) {
    static const QRegularExpression word(QStringLiteral("^[!#-~]+$"));
    if (value.typeId() != QMetaType::QString)
        return {};
    const QString text = value.toString();
    return word.match(text).hasMatch() && !text.contains(QLatin1Char('\\')) ? text : QString();
}

} // namespace

NutServerConfigResult ReadNutServerConfig(const QString& path, uid_t owner) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) {
        if (errno == ENOENT)
            return {};
        return refuse(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (st.st_uid != owner)
        return refuse(path, QStringLiteral("not owned by root"));
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return refuse(path, QStringLiteral("writable by group or others"));

    QSettings ini(path, QSettings::IniFormat);
    const QStringList keys = ini.allKeys();
    if (ini.status() != QSettings::NoError)
        return refuse(path, QStringLiteral("cannot be read as an INI file"));
    static const QStringList known{QStringLiteral("listen"), QStringLiteral("port"),
                                   QStringLiteral("ups"), QStringLiteral("user"),
                                   QStringLiteral("password")};
    for (const QString& key : keys)
        if (!known.contains(key))
            return refuse(path, QStringLiteral("unknown key ") + key);

    NutServerConfig config;
    const auto bad = [&path](const char* key) {
        return refuse(path, QStringLiteral("bad value for ") + QLatin1String(key));
    };
    if (ini.contains(QStringLiteral("listen"))) {
        config.listen.clear();
        for (const QString& word : words(ini.value(QStringLiteral("listen")))) {
            QHostAddress address;
            if (!address.setAddress(word))
                return bad("listen");
            config.listen.append(address);
        }
        if (config.listen.isEmpty())
            return bad("listen");
    }
    if (ini.contains(QStringLiteral("port"))) {
        bool ok = false;
        const uint port = singleWord(ini.value(QStringLiteral("port"))).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return bad("port");
        config.port = static_cast<quint16>(port);
    }
    if (ini.contains(QStringLiteral("ups"))) {
        static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_.-]+$"));
        const QString ups = singleWord(ini.value(QStringLiteral("ups")));
        if (!name.match(ups).hasMatch())
            return bad("ups");
        config.settings.upsName = ups.toStdString();
    }
    const bool hasUser = ini.contains(QStringLiteral("user"));
    const bool hasPassword = ini.contains(QStringLiteral("password"));
    if (hasUser != hasPassword)
        return refuse(path, QStringLiteral("user and password go together"));
    if (hasUser) {
        const QString user = singleWord(ini.value(QStringLiteral("user")));
        const QString password = singleWord(ini.value(QStringLiteral("password")));
        if (user.isEmpty())
            return bad("user");
        if (password.isEmpty())
            return bad("password");
        if ((st.st_mode & S_IROTH) != 0)
            return refuse(path, QStringLiteral("readable by others while it holds a password"));
        config.settings.user = user.toStdString();
        config.settings.password = password.toStdString();
    }
    return {config, {}};
}
