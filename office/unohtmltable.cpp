#include "office/unohtmltable.h"

#include "office/htmltable.h"

#include <com/sun/star/io/SequenceInputStream.hpp>

using namespace com::sun::star;

namespace office::detail {

rtl::OUString spreadsheetSource(Connection& connection, const QString& path,
                                std::vector<beans::PropertyValue>& arguments)
{
    const QByteArray html = htmltable::keepWrittenTextOfFile(path);
    if (html.isEmpty())
        return toOUString(fileUrl(path));
    const uno::Sequence<sal_Int8> bytes(reinterpret_cast<const sal_Int8*>(html.constData()),
                                        static_cast<sal_Int32>(html.size()));
    beans::PropertyValue stream;
    stream.Name = u"InputStream"_ustr;
    stream.Value <<= connection.call(
        [&] {
            return io::SequenceInputStream::createStreamFromSequence(connection.context(), bytes);
        },
        describeAs(morvanta::errc::NotASpreadsheet, QStringLiteral("无法打开“%1”").arg(path)));
    arguments.push_back(stream);
    return u"private:stream"_ustr;
}

} // namespace office::detail
