// Feeds arbitrary bytes to the job record reader. Whatever reads must write
// out and read back as the same record, and writing that again must give the
// same bytes; whatever is refused must say why.
#include "job/JobRecord.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const velmora::JobRecordResult read = velmora::parseJobRecord(bytes);
    if (!read.ok()) {
        if (read.message.empty() || read.status == velmora::JobRecordStatus::missing) {
            std::abort();
        }
        return 0;
    }
    const std::string written = velmora::jobRecordText(read.record);
    const velmora::JobRecordResult reread = velmora::parseJobRecord(written);
    if (!reread.ok() || reread.record != read.record || velmora::jobRecordText(reread.record) != written) {
        std::abort();
    }
    return 0;
}
