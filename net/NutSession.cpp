#include "net/NutSession.h"

#include "net/NutRequest.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace corvolt::net {
namespace {

constexpr std::string_view kProtocolVersion = "1.3";
constexpr std::string_view kVersionLine = "Corvolt 2.00.0001 NUT network server";

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// The variable of that name, matched case-insensitively.
template <typename Variables> auto findVariable(const Variables& vars, std::string_view name) {
    return std::find_if(vars.begin(), vars.end(),
                        [name](const auto& v) { return sameText(v.first, name); });
}

// One decimal with a dot, whatever the process locale.
std::string oneDecimal(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
    return std::string(buf, r.ptr);
}

// A number as the window writes it ("120.", "112,18", ".5") as the protocol wants it
// ("120", "112.18", "0.5"): whatever stands between the digits is the decimal separator.
// None when the text holds no digit.
std::optional<std::string> protocolNumber(std::string_view text) {
    std::string out;
    bool separator = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (separator)
                out += (out.empty() || out == "-") ? "0." : ".";
            separator = false;
            out += c;
        } else if (c == '-' && out.empty()) {
            out += c;
        } else if (out.find('.') == std::string::npos) {
            separator = true;
        }
    }
    if (out.empty() || out == "-")
        return std::nullopt;
    return out;
}

NutSession::Reply err(std::string_view code, bool close = false) {
    return {{"ERR " + std::string(code)}, close};
}

NutSession::Reply one(std::string line) {
    return {{std::move(line)}, false};
}

} // namespace

std::string quoteValue(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

NutUps::NutUps(NutSettings settings) : m_settings(std::move(settings)) {
    const auto space = m_settings.description.find(' ');
    m_vars["device.type"] = "ups";
    m_vars["driver.name"] = "corvolt";
    m_vars["ups.mfr"] = m_settings.description.substr(0, space);
    m_vars["ups.model"] = space == std::string::npos ? m_settings.description
                                                     : m_settings.description.substr(space + 1);
}

void NutUps::updateReadings(const std::optional<std::string>& lineVoltage,
                            const std::optional<std::string>& frequency, float batteryPercent) {
    for (const auto& [name, text] :
         {std::pair{"input.voltage", &lineVoltage}, std::pair{"input.frequency", &frequency}}) {
        if (!*text)
            continue;
        if (const std::optional<std::string> number = protocolNumber(**text))
            m_vars[name] = *number;
        else
            m_vars.erase(name);
    }
    m_vars["battery.charge"] = oneDecimal(batteryPercent);
}

void NutUps::updateStatus(std::uint8_t regulation, std::uint8_t alarm) {
    m_stale = false;
    switch (regulation) {
    case '0':
        m_regulation.clear();
        break;
    case '1':
        m_regulation = "BOOST";
        break;
    case '2':
        m_regulation = "TRIM";
        break;
    default:
        break;
    }
    switch (alarm) {
    case '0':
        m_power = "OL";
        break;
    case '1':
        m_power = "OB";
        break;
    case '2':
        m_power = "OB LB";
        break;
    default:
        break;
    }
    publishStatus();
}

void NutUps::setForcedShutdown() {
    m_fsd = true;
    publishStatus();
}

void NutUps::publishStatus() {
    std::string s = m_fsd ? "FSD" : "";
    for (const std::string* part : {&m_power, &m_regulation}) {
        if (part->empty())
            continue;
        if (!s.empty())
            s += ' ';
        s += *part;
    }
    if (s.empty())
        m_vars.erase("ups.status");
    else
        m_vars["ups.status"] = s;
}

void NutUps::addLogin(const void* session, std::string address) {
    m_logins.emplace_back(session, std::move(address));
    if (onLoginsChanged)
        onLoginsChanged();
}

void NutUps::removeLogin(const void* session) {
    const auto gone = std::remove_if(m_logins.begin(), m_logins.end(),
                                     [session](const auto& l) { return l.first == session; });
    if (gone == m_logins.end())
        return;
    m_logins.erase(gone, m_logins.end());
    if (onLoginsChanged)
        onLoginsChanged();
}

NutSession::NutSession(NutUps& ups, std::string peerAddress)
    : m_ups(ups), m_peer(std::move(peerAddress)) {}

NutSession::~NutSession() {
    m_ups.removeLogin(this);
}

bool NutSession::isOurUps(const std::string& name) const {
    return sameText(name, m_ups.settings().upsName);
}

NutSession::Reply NutSession::handle(std::string_view line) {
    const SplitResult split = splitRequest(line);
    if (split.error != SplitError::None)
        return err("INVALID-ARGUMENT", split.error == SplitError::TooLong);
    const auto& w = split.words;
    if (w.empty())
        return err("UNKNOWN-COMMAND");
    const std::string& cmd = w[0];
    const auto is = [&cmd](std::string_view name) { return sameText(cmd, name); };

    if (is("VER"))
        return one(std::string(kVersionLine));
    if (is("NETVER") || is("PROTVER"))
        return one(std::string(kProtocolVersion));
    if (is("HELP"))
        return one(
            "Commands: HELP VER GET LIST SET INSTCMD LOGIN LOGOUT USERNAME PASSWORD STARTTLS");
    if (is("GET"))
        return get(w);
    if (is("LIST"))
        return list(w);
    if (is("USERNAME") || is("PASSWORD")) {
        if (w.size() != 2)
            return err("INVALID-ARGUMENT");
        const bool user = is("USERNAME");
        bool& set = user ? m_userSet : m_passwordSet;
        if (set)
            return err(user ? "ALREADY-SET-USERNAME" : "ALREADY-SET-PASSWORD");
        (user ? m_user : m_password) = w[1];
        set = true;
        return one("OK");
    }
    if (is("LOGIN"))
        return login(w);
    if (is("LOGOUT")) {
        if (m_loggedIn)
            m_ups.removeLogin(this);
        m_loggedIn = false;
        return {{"OK Goodbye"}, true};
    }
    // This program is the only primary; clients may neither command the UPS nor claim it.
    if (is("PRIMARY") || is("MASTER") || is("FSD") || is("SET") || is("INSTCMD"))
        return err("ACCESS-DENIED");
    if (is("STARTTLS"))
        return err("FEATURE-NOT-CONFIGURED");
    return err("UNKNOWN-COMMAND");
}

NutSession::Reply NutSession::login(const std::vector<std::string>& w) {
    if (w.size() != 2)
        return err("INVALID-ARGUMENT");
    if (m_loggedIn)
        return err("ALREADY-LOGGED-IN");
    if (!m_userSet)
        return err("USERNAME-REQUIRED");
    if (!m_passwordSet)
        return err("PASSWORD-REQUIRED");
    if (!isOurUps(w[1]))
        return err("UNKNOWN-UPS");
    const NutSettings& s = m_ups.settings();
    if (s.user.empty() || m_user != s.user || m_password != s.password)
        return err("ACCESS-DENIED");
    m_loggedIn = true;
    m_ups.addLogin(this, m_peer);
    return one("OK");
}

NutSession::Reply NutSession::get(const std::vector<std::string>& w) {
    if (w.size() < 3)
        return err("INVALID-ARGUMENT");
    const std::string &what = w[1], &ups = w[2];
    const auto is = [&what](std::string_view name) { return sameText(what, name); };
    const bool oneArg = is("NUMLOGINS") || is("UPSDESC");
    const bool twoArgs = is("VAR") || is("DESC") || is("CMDDESC");
    if ((!oneArg && !twoArgs) || w.size() != (oneArg ? 3u : 4u))
        return err("INVALID-ARGUMENT");
    if (!isOurUps(ups))
        return err("UNKNOWN-UPS");
    if (is("NUMLOGINS"))
        return one("NUMLOGINS " + ups + " " + std::to_string(m_ups.numLogins()));
    if (is("UPSDESC"))
        return one("UPSDESC " + ups + " " + quoteValue(m_ups.settings().description));
    if (is("CMDDESC"))
        return err("CMD-NOT-SUPPORTED"); // there are no instant commands
    if (m_ups.stale())
        return err("DATA-STALE");
    const auto found = findVariable(m_ups.variables(), w[3]);
    if (found == m_ups.variables().end())
        return err("VAR-NOT-SUPPORTED");
    if (is("VAR"))
        return one("VAR " + ups + " " + w[3] + " " + quoteValue(found->second));
    return one("DESC " + ups + " " + w[3] + " " + quoteValue("Description unavailable"));
}

NutSession::Reply NutSession::list(const std::vector<std::string>& w) {
    if (w.size() < 2)
        return err("INVALID-ARGUMENT");
    const auto is = [&w](std::string_view name) { return sameText(w[1], name); };
    if (is("UPS")) {
        if (w.size() != 2)
            return err("INVALID-ARGUMENT");
        return {{"BEGIN LIST UPS",
                 "UPS " + m_ups.settings().upsName + " " + quoteValue(m_ups.settings().description),
                 "END LIST UPS"},
                false};
    }
    const bool perUps = is("VAR") || is("RW") || is("CMD") || is("CLIENT");
    const bool perVar = is("ENUM") || is("RANGE");
    if ((!perUps && !perVar) || w.size() != (perUps ? 3u : 4u))
        return err("INVALID-ARGUMENT");
    if (!isOurUps(w[2]))
        return err("UNKNOWN-UPS");
    if (!is("CLIENT") && m_ups.stale())
        return err("DATA-STALE");

    // The UPS and variable names are echoed as the client spelled them.
    std::string kind = w[1];
    std::transform(kind.begin(), kind.end(), kind.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; });
    const std::string head = kind + " " + w[2] + (perVar ? " " + w[3] : "");
    Reply r;
    r.lines.push_back("BEGIN LIST " + head);
    if (is("VAR")) {
        for (const auto& [name, value] : m_ups.variables())
            r.lines.push_back("VAR " + w[2] + " " + name + " " + quoteValue(value));
    } else if (is("CLIENT")) {
        for (const auto& login : m_ups.logins())
            r.lines.push_back("CLIENT " + w[2] + " " + login.second);
    } else if (perVar) {
        if (findVariable(m_ups.variables(), w[3]) == m_ups.variables().end())
            return err("VAR-NOT-SUPPORTED");
    }
    r.lines.push_back("END LIST " + head);
    return r;
}

} // namespace corvolt::net
