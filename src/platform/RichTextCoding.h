#pragma once

// Archive coders of RichText and its attribute values (fonts, colours,
// paragraph styles, text lists, attachments) for both archive forms.
void registerRichTextCoders();
