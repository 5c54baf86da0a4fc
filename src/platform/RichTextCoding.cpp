#include "RichTextCoding.h"

void registerRichTextCoders()
{
}
