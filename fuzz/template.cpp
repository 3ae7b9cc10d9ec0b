// Fills a template from the input with a sequence of operations taken from the input too:
// variables, conditions and loops, then reads the page.
#include "httpserver/template.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

constexpr int maxOperations = 12;
constexpr size_t maxTextBytes = 8192;
constexpr int maxRepetitions = 4;
// Loops multiply the text; a run stops growing it beyond this.
constexpr int maxPageCharacters = 1 << 20;

QString consumeText(FuzzedDataProvider &provider, size_t maxBytes)
{
    return QString::fromUtf8(QByteArray::fromStdString(provider.ConsumeRandomLengthString(maxBytes)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    tarsel::Template page(consumeText(provider, maxTextBytes), QStringLiteral("fuzz"));
    page.enableWarnings(provider.ConsumeBool());
    for (int i = 0; i < maxOperations && provider.remaining_bytes() > 0; ++i) {
        const int operation = provider.ConsumeIntegralInRange<int>(0, 3);
        const QString name = consumeText(provider, 16);
        switch (operation) {
        case 0:
            page.setVariable(name, consumeText(provider, 64));
            break;
        case 1:
            page.setCondition(name, provider.ConsumeBool());
            break;
        case 2:
            page.loop(name, provider.ConsumeIntegralInRange<int>(-1, maxRepetitions));
            break;
        default:
            page.toString();
            break;
        }
        if (page.toString().size() > maxPageCharacters)
            break;
    }
    page.toUtf8();
    page.isEmpty();
    return 0;
}
