#pragma once

#include <QString>

#include <optional>

class ContentIdNames;

// What a tag may need besides the recipient's row when it computes its
// value: the row's number counted from 1, whether files are referred to by
// local path (preview) or by content id (sending), the message id of
// content-id references and the names the message's inline files go by in
// them (null: each file's plain name). Each part may be absent; a missing
// MessageData (a null pointer where one is taken) has none of them.
struct MessageData {
    std::optional<qint64> messageNumber;
    std::optional<bool> fullPath;
    std::optional<QString> messageId;
    const ContentIdNames *contentIdNames = nullptr;
};
