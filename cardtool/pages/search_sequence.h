// The card searches of the pages share one shape: a few library calls in a
// row (antenna off, protocol type, antenna on, the family's own search), with
// short pauses for the field to settle, tried a given number of times. The
// first failing call of an attempt is reported and the next attempt starts.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class AppContext;
class HexEdit;
class ResultSink;

struct SearchStep {
    QString function;    // named in the result line when the call fails
    int pauseBefore = 0; // milliseconds to wait before the call
    std::function<int()> call;
};

// True as soon as one attempt got through every step.
bool RunSearch(ResultSink& result, int attempts, const std::vector<SearchStep>& steps);

// The serial number in a Type A search answer: what follows the three bytes
// of card information, as many bytes as uidLength says, at most 16 and never
// past the length of the answer.
QByteArray TypeASerial(const unsigned char* answer, int length, int uidLength);

// The common Type A search: antenna off, protocol 'A', antenna on, request all
// cards. On success the serial number goes to cardNumber (at most 16 bytes),
// cardFound is set and the search is reported; after the last failed attempt
// cardNumber is cleared and cardFound too. Not connected: reported, nothing sent.
bool FindTypeACard(AppContext& app, int attempts, HexEdit& cardNumber, bool& cardFound);
