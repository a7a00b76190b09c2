// TURL: a non-visual launcher that opens its address with the system's handler.
#pragma once

#include <QObject>
#include <QString>

class TURL : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(TURLType URLType READ URLType WRITE setURLType)
public:
    enum TURLType { utFile, utFtp, utGopher, utHttp, utHttps, utMailto, utNews, utTelnet, utWais };
    Q_ENUM(TURLType)

    explicit TURL(QObject *owner = nullptr);

    QString URL() const { return m_url; }
    void setURL(const QString &url);
    TURLType URLType() const { return m_type; }
    void setURLType(TURLType type);

    static QString prefix(TURLType type);

    // Opens prefix + URL; true when the shell accepted it. An empty URL opens nothing.
    bool OpenURL();

private:
    QString m_url;
    TURLType m_type = utHttp;
};

// Hands the target to the shell; the shell's code, above 32 on success. Targets of any length
// are handed on whole.
int ShellLaunch(const QString &fileName, const QString &parameters, const QString &directory, int showCommand);
