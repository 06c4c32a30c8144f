// Reads the burn command's JSON Lines output: every line must be one JSON object.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <string>
#include <vector>

// The objects of out, one per line; problem names the first line that is not a JSON object.
inline std::vector<QJsonObject> ReadJsonLines(const std::string& out, std::string& problem) {
    std::vector<QJsonObject> events;
    problem.clear();
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = out.find('\n', at);
        if (end == std::string::npos) {
            problem = "unterminated last line: " + out.substr(at);
            break;
        }
        const std::string line = out.substr(at, end - at);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            problem = "not a JSON object: " + line;
            break;
        }
        events.push_back(doc.object());
        at = end + 1;
    }
    return events;
}

// The "event" names in order.
inline std::vector<std::string> EventNames(const std::vector<QJsonObject>& events) {
    std::vector<std::string> names;
    for (const QJsonObject& e : events)
        names.push_back(e.value("event").toString().toStdString());
    return names;
}
