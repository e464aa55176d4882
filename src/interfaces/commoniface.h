#pragma once
// The Common interface of the shared value store, as automation clients and scripts see it:
// NVWin32.Common at /Common. Item(key) reads a value (Empty when there is none); SetItem(key,
// value) is Item's let accessor; Clear empties the store.

#include <QObject>
#include <QVariant>

class clsCommon;

class CommonIface : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Common")
    Q_CLASSINFO("D-Bus Path", "/Common")

public:
    explicit CommonIface(clsCommon *store, QObject *parent = nullptr);

public slots:
    QVariant Item(const QString &key);
    void SetItem(const QString &key, const QVariant &value);
    void Clear();

private:
    clsCommon *m_store;
};
