#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>

// Bytes that can't be sought in, handed out once front to back, as a pipe or a network stream
// delivers them.
class SequentialDevice : public QIODevice {
public:
    explicit SequentialDevice(const QByteArray &bytes)
        : bytes_(bytes) {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return bytes_.size() - at_ + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const qint64 count = std::min(maxSize, qint64(bytes_.size()) - at_);
        if (data) // Qt skips by reading into nothing
            std::memcpy(data, bytes_.constData() + at_, size_t(count));
        at_ += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 at_ = 0;
};
