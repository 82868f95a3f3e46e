#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvolt::net {

// What the administrator chose for the served UPS.
struct NutSettings {
    std::string upsName = "corvolt";
    std::string description = "Orvane Corvolt";
    std::string user;
    std::string password;
};

// The UPS as every client sees it: the variables of the last status frame, whether they are
// stale, the forced-shutdown latch and who is logged in. Shared by all sessions.
class NutUps {
public:
    explicit NutUps(NutSettings settings);

    // Takes the status characters of one decoded frame: regulation and alarm '0'/'1'/'2';
    // other characters keep what the previous frame said. Clears the stale flag.
    void updateStatus(std::uint8_t regulation, std::uint8_t alarm);
    // Takes the readings as the window shows them: number texts with the user's decimal
    // separator (an empty text: no value; none: keep the last one) and the battery percent.
    void updateReadings(const std::optional<std::string>& lineVoltage,
                        const std::optional<std::string>& frequency, float batteryPercent);
    // Set while the link is lost; every variable read then answers DATA-STALE.
    void setStale(bool stale) { m_stale = stale; }
    // Forced shutdown: every secondary is to shut down now. Never cleared.
    void setForcedShutdown();

    bool stale() const { return m_stale; }
    bool forcedShutdown() const { return m_fsd; }
    const NutSettings& settings() const { return m_settings; }
    // Variables by name, ups.status included, in the order LIST VAR sends them.
    const std::map<std::string, std::string>& variables() const { return m_vars; }

    int numLogins() const { return static_cast<int>(m_logins.size()); }
    // Addresses of the logged-in clients, in login order.
    const std::vector<std::pair<const void*, std::string>>& logins() const { return m_logins; }
    void addLogin(const void* session, std::string address);
    void removeLogin(const void* session);
    // Called after every login and logout.
    std::function<void()> onLoginsChanged;

private:
    void publishStatus();

    NutSettings m_settings;
    std::map<std::string, std::string> m_vars;
    std::vector<std::pair<const void*, std::string>> m_logins;
    std::string m_power;      // "OL", "OB" or "OB LB"
    std::string m_regulation; // "", "BOOST" or "TRIM"
    bool m_stale = true;
    bool m_fsd = false;
};

// One client connection: one request line in, exactly one reply out.
class NutSession {
public:
    NutSession(NutUps& ups, std::string peerAddress);
    ~NutSession();
    NutSession(const NutSession&) = delete;
    NutSession& operator=(const NutSession&) = delete;

    struct Reply {
        std::vector<std::string> lines; // without line feeds
        bool close = false;             // drop the connection after sending
    };
    Reply handle(std::string_view line);

private:
    Reply get(const std::vector<std::string>& w);
    Reply list(const std::vector<std::string>& w);
    Reply login(const std::vector<std::string>& w);
    bool isOurUps(const std::string& name) const;

    NutUps& m_ups;
    const std::string m_peer;
    std::string m_user, m_password;
    bool m_userSet = false, m_passwordSet = false, m_loggedIn = false;
};

// value in double quotes, with quotes and backslashes escaped.
std::string quoteValue(std::string_view value);

} // namespace corvolt::net
