<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="en_GB">
<context>
    <name>Localized-Tags</name>
    <message>
        <source>Message Number Tag Name</source>
        <translation>Message number</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <source>TEMPLATE_NO_INDEX_FILE</source>
        <translation>The folder is not a template: it has no file named “index.html”.</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_MESSAGE_TAG</source>
        <translation>The template’s “index.html” does not contain the marker “[[[message]]]” that shows where the message goes.</translation>
    </message>
    <message>
        <source>Error Report Title</source>
        <translation>Unexpected Error</translation>
    </message>
    <message>
        <source>Error Report Intro</source>
        <translation>An unexpected error occurred. You can send this report to the maker of the program; it contains only the text shown below.</translation>
    </message>
    <message>
        <source>Send Report</source>
        <translation>Send Report</translation>
    </message>
    <message>
        <source>Close Report</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Error Report No Address</source>
        <translation>This copy of the program has no address to send error reports to.</translation>
    </message>
    <message>
        <source>Error Report Sent</source>
        <translation>The report was sent. Thank you.</translation>
    </message>
    <message>
        <source>Error Report Not Sent</source>
        <translation>The report could not be sent:</translation>
    </message>
    <message>
        <source>Error Report Truncated</source>
        <translation>[%1 more characters left out]</translation>
    </message>
    <message>
        <source>Unknown Exception</source>
        <translation>An error of an unknown kind occurred.</translation>
    </message>
    <message>
        <source>ALL</source>
        <translation>All Contacts</translation>
    </message>
</context>
<context>
    <name>Localized-MessageEditor</name>
    <message>
        <source>Invalid URL</source>
        <translation>Invalid link address</translation>
    </message>
    <message>
        <source>Invalid URL Text</source>
        <translation>The text you entered is not a valid web address. Please correct it or cancel.</translation>
    </message>
    <message>
        <source>Link Sheet Title</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>Link Sheet Address</source>
        <translation>Link address:</translation>
    </message>
    <message>
        <source>Format Menu</source>
        <translation>F&amp;ormat</translation>
    </message>
    <message>
        <source>Font Menu</source>
        <translation>&amp;Font</translation>
    </message>
    <message>
        <source>Bold</source>
        <translation>&amp;Bold</translation>
    </message>
    <message>
        <source>Italic</source>
        <translation>&amp;Italic</translation>
    </message>
    <message>
        <source>Underline</source>
        <translation>&amp;Underline</translation>
    </message>
    <message>
        <source>Bigger</source>
        <translation>Bi&amp;gger</translation>
    </message>
    <message>
        <source>Smaller</source>
        <translation>&amp;Smaller</translation>
    </message>
    <message>
        <source>Fonts...</source>
        <translation>Fo&amp;nts…</translation>
    </message>
    <message>
        <source>Colours...</source>
        <translation>&amp;Colours…</translation>
    </message>
    <message>
        <source>Text Menu</source>
        <translation>&amp;Text</translation>
    </message>
    <message>
        <source>Align Left</source>
        <translation>Align &amp;Left</translation>
    </message>
    <message>
        <source>Align Center</source>
        <translation>&amp;Centre</translation>
    </message>
    <message>
        <source>Justify</source>
        <translation>&amp;Justify</translation>
    </message>
    <message>
        <source>Align Right</source>
        <translation>Align &amp;Right</translation>
    </message>
    <message>
        <source>Link...</source>
        <translation>&amp;Link…</translation>
    </message>
    <message>
        <source>Remove Link</source>
        <translation>&amp;Remove Link</translation>
    </message>
    <message>
        <source>List Menu</source>
        <translation>Li&amp;st</translation>
    </message>
    <message>
        <source>List None</source>
        <translation>&amp;None</translation>
    </message>
    <message>
        <source>List Disc</source>
        <translation>• Bullet</translation>
    </message>
    <message>
        <source>List Hyphen</source>
        <translation>⁃ Hyphen</translation>
    </message>
    <message>
        <source>List Circle</source>
        <translation>◦ Circle</translation>
    </message>
    <message>
        <source>List Square</source>
        <translation>▪ Square</translation>
    </message>
    <message>
        <source>List Check</source>
        <translation>✓ Check</translation>
    </message>
    <message>
        <source>List Decimal</source>
        <translation>1. 2. 3.</translation>
    </message>
    <message>
        <source>List Decimal Parenthesis</source>
        <translation>1) 2) 3)</translation>
    </message>
    <message>
        <source>List Upper Alpha</source>
        <translation>A. B. C.</translation>
    </message>
    <message>
        <source>List Lower Alpha</source>
        <translation>a. b. c.</translation>
    </message>
    <message>
        <source>List Lower Alpha Parenthesis</source>
        <translation>a) b) c)</translation>
    </message>
    <message>
        <source>List Upper Roman</source>
        <translation>I. II. III.</translation>
    </message>
    <message>
        <source>List Lower Roman</source>
        <translation>i. ii. iii.</translation>
    </message>
    <message>
        <source>Body Background Colour...</source>
        <translation>Body &amp;Background Colour…</translation>
    </message>
    <message>
        <source>Colours Panel Title</source>
        <translation>Text Colour</translation>
    </message>
    <message>
        <source>Background Panel Title</source>
        <translation>Body Background Colour</translation>
    </message>
    <message>
        <source>Font Family</source>
        <translation>Font family</translation>
    </message>
    <message>
        <source>Font Size</source>
        <translation>Font size</translation>
    </message>
    <message>
        <source>Link Button</source>
        <translation>Link…</translation>
    </message>
    <message>
        <source>List Button</source>
        <translation>List</translation>
    </message>
</context>
<context>
    <name>smtpErrors</name>
    <message>
        <source>smtp_err_noconnect</source>
        <translation>The connection to the mail server could not be made: the server name is unknown or too long, nothing answers on its port, or this computer has no host name.</translation>
    </message>
    <message>
        <source>smtp_err_notsendable</source>
        <translation>The message was not sent: an address or a part of it cannot be sent as it is. Nothing of it went to the mail server.</translation>
    </message>
    <message>
        <source>smtp_err_connect_lost</source>
        <translation>The connection to the mail server was lost.</translation>
    </message>
    <message>
        <source>smtp_err_badgreeting</source>
        <translation>The mail server did not accept the connection: it refused the greeting or the EHLO command.</translation>
    </message>
    <message>
        <source>smtp_err_badrcptreply</source>
        <translation>The mail server did not accept the sender or a recipient address.</translation>
    </message>
    <message>
        <source>smtp_err_badmail</source>
        <translation>The mail server did not accept the message.</translation>
    </message>
    <message>
        <source>smtp_err_badreply</source>
        <translation>The mail server sent a reply that could not be understood.</translation>
    </message>
    <message>
        <source>smtp_err_noauth</source>
        <translation>The mail server did not accept the login. Check the user name and the password of the account.</translation>
    </message>
    <message>
        <source>smtp_err_badstarttlsreply</source>
        <translation>No secure connection (STARTTLS) could be made: the mail server does not offer it, refused it, or the encryption could not be started. Nothing was sent without encryption.</translation>
    </message>
    <message>
        <source>smtp_err_nostarttls</source>
        <translation>No secure connection (STARTTLS) could be made: %1. Nothing was sent without encryption.</translation>
    </message>
    <message>
        <source>smtp_err_notls</source>
        <translation>No secure connection (TLS) could be made: %1. Nothing was sent without encryption.</translation>
    </message>
    <message>
        <source>smtp_err_noanswer</source>
        <translation>The whole message was sent, but no answer to its end came from the mail server that could be read.</translation>
    </message>
</context>
<context>
    <name>SendErrors</name>
    <message>
        <source>Attachment missing</source>
        <translation>Attachment missing:</translation>
    </message>
    <message>
        <source>AppleMail no HTML</source>
        <translation>Messages with an HTML part cannot be handed to the system mail; send plain text only.</translation>
    </message>
    <message>
        <source>unexpected</source>
        <translation>An unexpected error occurred.</translation>
    </message>
    <message>
        <source>May have been delivered</source>
        <translation>The whole message went out, but the mail server's answer to it was lost, could not be read or was not awaited: the message may have been delivered. It is not counted as sent, and it is not sent again.</translation>
    </message>
    <message>
        <source>Mail not sendable</source>
        <translation>The message was not handed to the system mail: an address of it cannot be sent as it is.</translation>
    </message>
    <message>
        <source>Mail script failed</source>
        <translation>The system mail program did not accept the message.</translation>
    </message>
    <message>
        <source>Mail script stopped</source>
        <translation>The hand-off to the system mail program was stopped before it finished; the program may already have taken the message.</translation>
    </message>
    <message>
        <source>Direct no exchanger</source>
        <translation>No mail server was found for the recipient's domain.</translation>
    </message>
    <message>
        <source>Direct session failed</source>
        <translation>The recipient's mail server could not be reached.</translation>
    </message>
    <message>
        <source>Direct answer lost</source>
        <translation>The recipient's mail server had the whole message, but its answer was lost.</translation>
    </message>
    <message>
        <source>Direct message refused</source>
        <translation>The recipient's mail server refused the message.</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <source>LOG_SENT_MAIL_TO</source>
        <translation>Sent mail to</translation>
    </message>
    <message>
        <source>LOG_MAIL_ERROR</source>
        <translation>Error sending mail to</translation>
    </message>
    <message>
        <source>LOG_MAY_HAVE_BEEN_DELIVERED</source>
        <translation>May have been delivered to</translation>
    </message>
    <message>
        <source>LOG_ERROR</source>
        <translation>Error:</translation>
    </message>
    <message>
        <source>LOG_DONE</source>
        <translation>Done.</translation>
    </message>
    <message>
        <source>LOG_SAVE_BUTTON</source>
        <translation>Save Log...</translation>
    </message>
    <message>
        <source>LOG_SAVE_FAILED_TITLE</source>
        <translation>The log could not be saved</translation>
    </message>
    <message>
        <source>LOG_SAVE_FAILED_TEXT</source>
        <translation>The file could not be written:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>SEND_CANCEL_BUTTON_1</source>
        <translation>Stop After This Message</translation>
    </message>
    <message>
        <source>SEND_CANCEL_BUTTON_2</source>
        <translation>Stop Now</translation>
    </message>
    <message>
        <source>PREVIEW_EMPTY_DATABASE</source>
        <translation>The recipient table is empty: there is no message to preview.</translation>
    </message>
    <message>
        <source>FIELD_PULLDOWN_TITLE</source>
        <translation>Insert Field</translation>
    </message>
    <message>
        <source>NO_EMAIL_COLUMN_TITLE</source>
        <translation>No e-mail column</translation>
    </message>
    <message>
        <source>NO_EMAIL_COLUMN_TEXT</source>
        <translation>The recipient table has no column for the e-mail addresses. Choose one in the recipient table before sending.</translation>
    </message>
    <message>
        <source>MAIL_MISSING_ATTACHMENT_TITLE</source>
        <translation>Attachment missing</translation>
    </message>
    <message>
        <source>MAIL_MISSING_ATTACHMENT_TEXT</source>
        <translation>An attached file cannot be found:</translation>
    </message>
    <message>
        <source>No account configuration title</source>
        <translation>No account</translation>
    </message>
    <message>
        <source>No account configuration text</source>
        <translation>The account chosen for sending does not exist (any more). Choose an account, or set one up in the preferences.</translation>
    </message>
    <message>
        <source>Bad account configuration title</source>
        <translation>Incomplete account</translation>
    </message>
    <message>
        <source>Bad account configuration text</source>
        <translation>The account chosen for sending is not set up completely. Check it in the preferences.</translation>
    </message>
    <message>
        <source>TOO_MANY_ERRORS_TITLE</source>
        <translation>Sending stopped</translation>
    </message>
    <message>
        <source>TOO_MANY_ERRORS_TEXT</source>
        <translation>Too many messages in a row could not be sent. The last error was:</translation>
    </message>
    <message>
        <source>SMTP_BAD_CONNECT_TITLE</source>
        <translation>No connection</translation>
    </message>
    <message>
        <source>SMTP_BAD_CONNECT_TEXT</source>
        <translation>The connection to the mail server could not be made:</translation>
    </message>
    <message>
        <source>SEND_DONE_ERROR_TITLE</source>
        <translation>Sending finished with errors</translation>
    </message>
    <message>
        <source>SEND_DONE_ERROR_TEXT</source>
        <translation>Not every message was sent. The log names the ones that were not.</translation>
    </message>
    <message>
        <source>SEND_DONE_TITLE</source>
        <translation>Sending finished</translation>
    </message>
    <message>
        <source>SEND_DONE_TEXT</source>
        <translation>All messages were sent.</translation>
    </message>
    <message>
        <source>SMTP_UNKNOWN_TITLE</source>
        <translation>Sending failed</translation>
    </message>
    <message>
        <source>SMTP_UNKNOWN_TEXT</source>
        <translation>An error of an unknown kind occurred while sending.</translation>
    </message>
    <message>
        <source>File Not Found</source>
        <translation>Test table not found</translation>
    </message>
    <message>
        <source>The test database could not be found.</source>
        <translation>The test table could not be found. It may have been deleted.</translation>
    </message>
</context>
<context>
    <name>Localized-SendTab</name>
    <message>
        <source>No Subject</source>
        <translation>The message has no subject</translation>
    </message>
    <message>
        <source>No Subject text</source>
        <translation>Send the messages without a subject?</translation>
    </message>
    <message>
        <source>ASK_SEND_TEXT</source>
        <translation>Send the message to every active recipient of the table now?</translation>
    </message>
    <message>
        <source>Recipients: %1</source>
        <translation>Recipients: %1</translation>
    </message>
    <message>
        <source>Rows in the table: %1</source>
        <translation>Rows in the table: %1</translation>
    </message>
    <message>
        <source>Sent: %1</source>
        <translation>Sent: %1</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>May have been delivered: %1</source>
        <translation>May have been delivered: %1</translation>
    </message>
    <message>
        <source>Skipped: %1</source>
        <translation>Skipped: %1</translation>
    </message>
    <message>
        <source>NOTHING_SENT_TITLE</source>
        <translation>No message sent</translation>
    </message>
    <message>
        <source>NOTHING_SENT_TEXT</source>
        <translation>No message was sent: no row of the table is to get one.</translation>
    </message>
    <message>
        <source>NOTHING_SENT_NO_ROWS</source>
        <translation>No message was sent: the table has no rows.</translation>
    </message>
    <message>
        <source>Without an e-mail address: %1</source>
        <translation>Without an e-mail address: %1</translation>
    </message>
    <message>
        <source>Switched off: %1</source>
        <translation>Switched off: %1</translation>
    </message>
    <message>
        <source>Blacklisted: %1</source>
        <translation>Blacklisted: %1</translation>
    </message>
</context>
<context>
    <name>Localized-Preview</name>
    <message>
        <source>Subject</source>
        <translation>Subject</translation>
    </message>
    <message>
        <source>Attachments</source>
        <translation>Attachments</translation>
    </message>
</context>
<context>
    <name>AttachmentTab</name>
    <message>
        <source>Add Files</source>
        <translation>Add Files...</translation>
    </message>
    <message>
        <source>Add Personalized File</source>
        <translation>Add Personalized File...</translation>
    </message>
    <message>
        <source>Remove Files</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Choose Root Folder</source>
        <translation>Choose the folder of the recipients’ files</translation>
    </message>
    <message>
        <source>Choose Default File</source>
        <translation>Choose the file to attach when a recipient’s own is missing</translation>
    </message>
    <message>
        <source>Root Folder Missing</source>
        <translation>No folder chosen</translation>
    </message>
    <message>
        <source>Root Folder Missing Text</source>
        <translation>Choose the folder in which the recipients' files are.</translation>
    </message>
    <message>
        <source>No Default Attachment</source>
        <translation>No file chosen</translation>
    </message>
    <message>
        <source>No Default Attachment Text</source>
        <translation>Choose the file to attach when a recipient's own file is missing.</translation>
    </message>
</context>
<context>
    <name>SendMails</name>
    <message>
        <source>TARGET_ALL</source>
        <translation>All recipients</translation>
    </message>
    <message>
        <source>TARGET_SIMULATED</source>
        <translation>Simulated run (nothing is sent)</translation>
    </message>
    <message>
        <source>TARGET_TEST_TABLE</source>
        <translation>Test table</translation>
    </message>
    <message>
        <source>PRIORITY_1</source>
        <translation>Highest</translation>
    </message>
    <message>
        <source>PRIORITY_2</source>
        <translation>High</translation>
    </message>
    <message>
        <source>PRIORITY_3</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>PRIORITY_4</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>PRIORITY_5</source>
        <translation>Lowest</translation>
    </message>
    <message>
        <source>BAD_BCC_ADDRESS_TITLE</source>
        <translation>Invalid blind-copy address</translation>
    </message>
    <message>
        <source>BAD_BCC_ADDRESS_TEXT</source>
        <translation>“%1” is not an e-mail address. Separate the blind-copy addresses with commas.</translation>
    </message>
</context>
<context>
    <name>AskPassword</name>
    <message>
        <source>Password Title</source>
        <translation>Password Required</translation>
    </message>
    <message>
        <source>Password Prompt</source>
        <translation>Please enter the password of your SMTP account.</translation>
    </message>
    <message>
        <source>Password OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Password Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Password Prompt For</source>
        <translation>Please enter the password of the login “%1” on the SMTP server “%2”.</translation>
    </message>
</context>
<context>
    <name>Localized-App</name>
    <message>
        <source>DOC_OPEN_FAILED</source>
        <translation>The document could not be opened.</translation>
    </message>
    <message>
        <source>DOC_SAVE_FAILED</source>
        <translation>The document could not be saved.</translation>
    </message>
    <message>
        <source>DOC_REVERT_FAILED</source>
        <translation>The document could not be reverted to the saved version.</translation>
    </message>
    <message>
        <source>REVERT_QUESTION</source>
        <translation>Revert to the saved version of “%1”?</translation>
    </message>
    <message>
        <source>REVERT_INFO</source>
        <translation>Your current changes will be lost.</translation>
    </message>
    <message>
        <source>REVERT_BUTTON</source>
        <translation>Revert</translation>
    </message>
    <message>
        <source>DOC_CANNOT_CLOSE</source>
        <translation>The document cannot be closed now.</translation>
    </message>
    <message>
        <source>PROJECT_FILE_FILTER</source>
        <translation>Corvantiline projects</translation>
    </message>
    <message>
        <source>ALL_FILES_FILTER</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>OPEN_PANEL_TITLE</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>SAVE_PANEL_TITLE</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>SAVE_CHANGES_QUESTION</source>
        <translation>Do you want to save the changes you made in the document “%1”?</translation>
    </message>
    <message>
        <source>SAVE_CHANGES_INFO</source>
        <translation>Your changes will be lost if you don’t save them.</translation>
    </message>
    <message>
        <source>QUIT_WHILE_SENDING_QUESTION</source>
        <translation>Sending from “%1” is in progress. Stop sending and quit?</translation>
    </message>
    <message>
        <source>QUIT_WHILE_SENDING_STOP</source>
        <translation>Stop and Quit</translation>
    </message>
    <message>
        <source>QUIT_WHILE_SENDING_CONTINUE</source>
        <translation>Continue Sending</translation>
    </message>
    <message>
        <source>UNDO_STEP</source>
        <translation>&amp;Undo %1</translation>
    </message>
    <message>
        <source>REDO_STEP</source>
        <translation>&amp;Redo %1</translation>
    </message>
</context>
<context>
    <name>Localized-Document</name>
    <message>
        <source>Untitled</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>DOC_NOT_A_FILE</source>
        <translation>“%1” is not a file that can be opened.</translation>
    </message>
    <message>
        <source>DOC_FILE_TOO_LARGE</source>
        <translation>“%1” is too large to be a project file.</translation>
    </message>
    <message>
        <source>DOC_CANNOT_READ</source>
        <translation>“%1” could not be read: %2</translation>
    </message>
    <message>
        <source>DOC_NOT_A_PROJECT_FILE</source>
        <translation>“%1” is not a project file, or it is damaged.</translation>
    </message>
    <message>
        <source>DOC_OLD_FORM_NEEDS_SAVE_AS</source>
        <translation>“%1” is in an older form; save the project under a new name with “Save As”.</translation>
    </message>
    <message>
        <source>DOC_CANNOT_WRITE</source>
        <translation>“%1” could not be saved: %2. The previous file is unchanged.</translation>
    </message>
    <message>
        <source>DOC_NOT_A_PLAIN_FILE</source>
        <translation>something other than a file is in its place</translation>
    </message>
    <message>
        <source>DOC_NEVER_SAVED</source>
        <translation>The project has never been saved.</translation>
    </message>
    <message>
        <source>DOC_CLOSE_WHILE_SENDING</source>
        <translation>The project’s messages are being sent. Stop sending before closing it.</translation>
    </message>
    <message>
        <source>PREVIEW_PLACEHOLDER</source>
        <translation>The preview of each recipient’s message will be shown here.</translation>
    </message>
    <message>
        <source>Subject:</source>
        <translation>Subject:</translation>
    </message>
</context>
<context>
    <name>Localized-Database</name>
    <message>
        <source>Last Sent</source>
        <translation>Last sent</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Active</translation>
    </message>
    <message>
        <source>Field Name</source>
        <translation>Field name</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>&amp;Recipients</translation>
    </message>
    <message>
        <source>Add Recipient</source>
        <translation>Add Recipient</translation>
    </message>
    <message>
        <source>Remove Recipients</source>
        <translation>Remove Recipients</translation>
    </message>
    <message>
        <source>Duplicate Recipients</source>
        <translation>Duplicate Recipients</translation>
    </message>
    <message>
        <source>Sort by Selected Column</source>
        <translation>Sort by Selected Column</translation>
    </message>
    <message>
        <source>Use Selected Column for Addresses</source>
        <translation>Use Selected Column for Addresses</translation>
    </message>
    <message>
        <source>Field Names...</source>
        <translation>Field Names…</translation>
    </message>
    <message>
        <source>Remove Selected Field</source>
        <translation>Remove Selected Field</translation>
    </message>
    <message>
        <source>Number the Rows in Selected Column</source>
        <translation>Number the Rows in Selected Column</translation>
    </message>
    <message>
        <source>Switch On</source>
        <translation>Switch On</translation>
    </message>
    <message>
        <source>Switch Off</source>
        <translation>Switch Off</translation>
    </message>
    <message>
        <source>All Recipients</source>
        <translation>All Recipients</translation>
    </message>
    <message>
        <source>Selected Recipients</source>
        <translation>Selected Recipients</translation>
    </message>
    <message>
        <source>Blacklisted Recipients</source>
        <translation>Blacklisted Recipients</translation>
    </message>
    <message>
        <source>By Field...</source>
        <translation>By Field…</translation>
    </message>
    <message>
        <source>By Date Last Sent...</source>
        <translation>By Date Last Sent…</translation>
    </message>
    <message>
        <source>Clean Up Addresses</source>
        <translation>Clean Up Addresses</translation>
    </message>
    <message>
        <source>Switch Off Repeated Addresses</source>
        <translation>Switch Off Repeated Addresses</translation>
    </message>
    <message>
        <source>Preview Selected Recipient</source>
        <translation>Preview Selected Recipient</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Recipients of Project Files...</source>
        <translation>Recipients of Project Files…</translation>
    </message>
    <message>
        <source>vCard Files...</source>
        <translation>vCard Files…</translation>
    </message>
    <message>
        <source>Contacts...</source>
        <translation>Contacts…</translation>
    </message>
    <message>
        <source>Text File...</source>
        <translation>Text File…</translation>
    </message>
    <message>
        <source>Export as Text...</source>
        <translation>Export as Text…</translation>
    </message>
    <message>
        <source>Copy Recipients</source>
        <translation>Copy Recipients</translation>
    </message>
    <message>
        <source>Find Recipient...</source>
        <translation>Find Recipient…</translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation>Find Next</translation>
    </message>
    <message>
        <source>Find Previous</source>
        <translation>Find Previous</translation>
    </message>
    <message>
        <source>Import the recipients of project files</source>
        <translation>Import the recipients of project files</translation>
    </message>
    <message>
        <source>Import vCard files</source>
        <translation>Import vCard files</translation>
    </message>
    <message>
        <source>Export the recipients as text</source>
        <translation>Export the recipients as text</translation>
    </message>
    <message>
        <source>FILTER_SWITCH_ON_TEXT</source>
        <translation>Switch on the recipients that match:</translation>
    </message>
    <message>
        <source>FILTER_SWITCH_OFF_TEXT</source>
        <translation>Switch off the recipients that match:</translation>
    </message>
    <message>
        <source>NO_COLUMN_SELECTED_TITLE</source>
        <translation>No column selected</translation>
    </message>
    <message>
        <source>NO_COLUMN_SELECTED_TEXT</source>
        <translation>Click the header of a field’s column first.</translation>
    </message>
    <message>
        <source>NO_COLUMN_SELECTED_SERNUM_TITLE</source>
        <translation>No field column selected</translation>
    </message>
    <message>
        <source>NO_COLUMN_SELECTED_SERNUM_TEXT</source>
        <translation>Click the header of the field’s column that is to get the numbers. The numbers replace what the column holds; the fixed columns cannot take them.</translation>
    </message>
    <message>
        <source>FIELD_NAME_REFUSED_TITLE</source>
        <translation>The field keeps its name</translation>
    </message>
    <message>
        <source>FIELD_NAME_EMPTY_TEXT</source>
        <translation>A field needs a name.</translation>
    </message>
    <message>
        <source>FIELD_NAME_DUPLICATE_TEXT</source>
        <translation>Another field has this name already:</translation>
    </message>
    <message>
        <source>FIELD_RESTORE_REFUSED_TITLE</source>
        <translation>The field cannot come back</translation>
    </message>
    <message>
        <source>FIELD_RESTORE_NO_SLOT_TEXT</source>
        <translation>Every column of the table holds a field or values now, so the removed field could only come back over them. It stays removed, and its removal can no longer be undone. The field:</translation>
    </message>
    <message>
        <source>IMPORT_INCOMPLETE_TITLE</source>
        <translation>Not everything was imported</translation>
    </message>
    <message>
        <source>IMPORT_INCOMPLETE_TEXT</source>
        <translation>The recipients that could be read were added. The rest:</translation>
    </message>
    <message>
        <source>IMPORT_DETAIL_TOO_LARGE</source>
        <translation>The data is too large to be read.</translation>
    </message>
    <message>
        <source>IMPORT_DETAIL_SKIPPED_CARDS</source>
        <translation>%1 cards named nobody or were cut short.</translation>
    </message>
    <message>
        <source>IMPORT_DETAIL_DROPPED_VALUES</source>
        <translation>%1 values found no free column and were left out.</translation>
    </message>
    <message>
        <source>IMPORT_DETAIL_UNREADABLE</source>
        <translation>“%1” could not be read: %2</translation>
    </message>
    <message>
        <source>EXPORT_FAILED_TITLE</source>
        <translation>The recipients were not exported</translation>
    </message>
    <message>
        <source>EXPORT_FAILED_TEXT</source>
        <translation>The file could not be written; nothing was changed on disk.</translation>
    </message>
    <message>
        <source>EXPORT_VALUES_CHANGED_TITLE</source>
        <translation>Line breaks and tabs became spaces</translation>
    </message>
    <message>
        <source>EXPORT_VALUES_CHANGED_TEXT</source>
        <translation>A field of the exported text cannot hold a tab or a line break.</translation>
    </message>
    <message>
        <source>EXPORT_DETAIL_NOT_A_FILE</source>
        <translation>It is not a plain file (a device, a folder or a pipe), which the export will not replace.</translation>
    </message>
    <message>
        <source>EXPORT_DETAIL_CHANGED_VALUES</source>
        <translation>%1 values were changed in the file (not in the table).</translation>
    </message>
    <message>
        <source>STEP_ADD_RECIPIENT</source>
        <translation>Add Recipient</translation>
    </message>
    <message>
        <source>STEP_REMOVE_RECIPIENTS</source>
        <translation>Remove Recipients</translation>
    </message>
    <message>
        <source>STEP_DUPLICATE_RECIPIENTS</source>
        <translation>Duplicate Recipients</translation>
    </message>
    <message>
        <source>STEP_SORT</source>
        <translation>Sort</translation>
    </message>
    <message>
        <source>STEP_REMOVE_FIELD</source>
        <translation>Remove Field “%1”</translation>
    </message>
    <message>
        <source>STEP_REMOVE_UNNAMED_FIELD</source>
        <translation>Remove Field</translation>
    </message>
    <message>
        <source>STEP_NUMBER_ROWS</source>
        <translation>Number the Rows</translation>
    </message>
    <message>
        <source>STEP_SWITCH_ON</source>
        <translation>Switch On Recipients</translation>
    </message>
    <message>
        <source>STEP_SWITCH_OFF</source>
        <translation>Switch Off Recipients</translation>
    </message>
    <message>
        <source>STEP_CLEAN_UP_ADDRESSES</source>
        <translation>Clean Up Addresses</translation>
    </message>
    <message>
        <source>STEP_SWITCH_OFF_REPEATED</source>
        <translation>Switch Off Repeated Addresses</translation>
    </message>
    <message>
        <source>STEP_IMPORT</source>
        <translation>Import</translation>
    </message>
</context>
<context>
    <name>ImportCSV</name>
    <message>
        <source>The file is not valid %1 text: the bytes at position %2 do not belong to that encoding. Choose another encoding.</source>
        <translation>The file is not valid %1 text: the bytes at position %2 do not belong to that encoding. Choose another encoding.</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be read: %2</source>
        <translation>The file “%1” cannot be read: %2</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is larger than %2 MB and is not read.</source>
        <translation>The file “%1” is larger than %2 MB and is not read.</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>The file cannot be read.</source>
        <translation>The file cannot be read.</translation>
    </message>
    <message>
        <source>%1 rows; the widest has %2 fields.</source>
        <translation>%1 rows; the widest has %2 fields.</translation>
    </message>
    <message>
        <source>%1 fields of %2 rows are past the limit of %3 per row and are left out.</source>
        <translation>%1 fields of %2 rows are past the limit of %3 per row and are left out.</translation>
    </message>
    <message>
        <source>%1 quotes are not closed; they are read as ordinary characters.</source>
        <translation>%1 quotes are not closed; they are read as ordinary characters.</translation>
    </message>
    <message>
        <source>Choose a text file to import</source>
        <translation>Choose a text file to import</translation>
    </message>
</context>
<context>
    <name>AddressBook</name>
    <message>
        <source>Email</source>
        <translation>Email</translation>
    </message>
    <message>
        <source>First</source>
        <translation>First name</translation>
    </message>
    <message>
        <source>Last</source>
        <translation>Last name</translation>
    </message>
    <message>
        <source>Middle</source>
        <translation>Middle name</translation>
    </message>
    <message>
        <source>Prefix</source>
        <translation>Prefix</translation>
    </message>
    <message>
        <source>Suffix</source>
        <translation>Suffix</translation>
    </message>
    <message>
        <source>Nickname</source>
        <translation>Nickname</translation>
    </message>
    <message>
        <source>Organization</source>
        <translation>Company</translation>
    </message>
    <message>
        <source>Department</source>
        <translation>Department</translation>
    </message>
    <message>
        <source>JobTitle</source>
        <translation>Job title</translation>
    </message>
    <message>
        <source>Phone</source>
        <translation>Phone</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>URLs</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>GroupName</source>
        <translation>Group</translation>
    </message>
    <message>
        <source>Street</source>
        <translation>Street</translation>
    </message>
    <message>
        <source>City</source>
        <translation>City</translation>
    </message>
    <message>
        <source>State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>ZIP</source>
        <translation>ZIP</translation>
    </message>
    <message>
        <source>Country</source>
        <translation>Country</translation>
    </message>
    <message>
        <source>home</source>
        <translation>home</translation>
    </message>
    <message>
        <source>work</source>
        <translation>work</translation>
    </message>
    <message>
        <source>other</source>
        <translation>other</translation>
    </message>
    <message>
        <source>cell</source>
        <translation>mobile</translation>
    </message>
    <message>
        <source>mobile</source>
        <translation>mobile</translation>
    </message>
    <message>
        <source>fax</source>
        <translation>fax</translation>
    </message>
    <message>
        <source>pager</source>
        <translation>pager</translation>
    </message>
    <message>
        <source>main</source>
        <translation>main</translation>
    </message>
    <message>
        <source>homepage</source>
        <translation>home page</translation>
    </message>
</context>
<context>
    <name>Project</name>
    <message>
        <source>Address Book</source>
        <translation>Contacts</translation>
    </message>
    <message>
        <source>The stored tables could not be opened: %1</source>
        <translation>The stored tables could not be opened: %1</translation>
    </message>
    <message>
        <source>Corvantiline Database</source>
        <translation>Corvantiline Database</translation>
    </message>
    <message>
        <source>Another copy of Corvantiline is using the stored tables. They are read-only in this copy.</source>
        <translation>Another copy of Corvantiline is using the stored tables. They are read-only in this copy.</translation>
    </message>
    <message>
        <source>The stored tables cannot be locked for this copy of Corvantiline. They are read-only.</source>
        <translation>The stored tables cannot be locked for this copy of Corvantiline. They are read-only.</translation>
    </message>
    <message>
        <source>The list of stored tables was missing and has been rebuilt from the table files.</source>
        <translation>The list of stored tables was missing and has been rebuilt from the table files.</translation>
    </message>
    <message>
        <source>The list of stored tables could not be read. It was kept as &quot;%1&quot; and has been rebuilt from the table files.</source>
        <translation>The list of stored tables could not be read. It was kept as “%1” and has been rebuilt from the table files.</translation>
    </message>
    <message>
        <source>The list of stored tables could not be read or moved aside. The stored tables are read-only.</source>
        <translation>The list of stored tables could not be read or moved aside. The stored tables are read-only.</translation>
    </message>
    <message>
        <source>The list of stored tables could not be read. It has been rebuilt from the table files for this copy only.</source>
        <translation>The list of stored tables could not be read. It has been rebuilt from the table files for this copy only.</translation>
    </message>
    <message>
        <source>%1 entries of the list of stored tables named no table file of the store and were left out.</source>
        <translation>%1 entries of the list of stored tables named no table file of the store and were left out.</translation>
    </message>
    <message>
        <source>The stored table &quot;%1&quot; could not be saved: %2. The change is kept in memory until it can be written.</source>
        <translation>The stored table “%1” could not be saved: %2. The change is kept in memory until it can be written.</translation>
    </message>
    <message>
        <source>The list of stored tables could not be saved: %1. The change is kept in memory until it can be written.</source>
        <translation>The list of stored tables could not be saved: %1. The change is kept in memory until it can be written.</translation>
    </message>
    <message>
        <source>Remove Table</source>
        <translation>Remove Table</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Remove the table &quot;%1&quot;? It holds %2 rows. The table and its file are deleted, and this cannot be undone.</source>
        <translation>Remove the table “%1”? It holds %2 rows. The table and its file are deleted, and this cannot be undone.</translation>
    </message>
    <message>
        <source>No Column Selected</source>
        <translation>No Column Selected</translation>
    </message>
    <message>
        <source>No Column Selected description</source>
        <translation>Select a cell of the column you want to rename.</translation>
    </message>
    <message>
        <source>New Table</source>
        <translation>New Table</translation>
    </message>
    <message>
        <source>New Column</source>
        <translation>New Column</translation>
    </message>
    <message>
        <source>Rename Column</source>
        <translation>Rename Column</translation>
    </message>
    <message>
        <source>Import Project Files</source>
        <translation>Import Project Files</translation>
    </message>
    <message>
        <source>Export as Text</source>
        <translation>Export as Text</translation>
    </message>
    <message>
        <source>Import Failed</source>
        <translation>Import Failed</translation>
    </message>
    <message>
        <source>The stored table could not be made: %1</source>
        <translation>The stored table could not be made: %1</translation>
    </message>
    <message>
        <source>Values Left Out</source>
        <translation>Values Left Out</translation>
    </message>
    <message>
        <source>A stored table has at most %1 columns. %2 values past the last column were not imported.</source>
        <translation>A stored table has at most %1 columns. %2 values past the last column were not imported.</translation>
    </message>
    <message>
        <source>These files could not be imported:</source>
        <translation>These files could not be imported:</translation>
    </message>
    <message>
        <source>Export Failed</source>
        <translation>Export Failed</translation>
    </message>
    <message>
        <source>The table could not be written to &quot;%1&quot;: %2</source>
        <translation>The table could not be written to “%1”: %2</translation>
    </message>
    <message>
        <source>Line Breaks Replaced</source>
        <translation>Line Breaks Replaced</translation>
    </message>
    <message>
        <source>In %1 values a tab or a line break was replaced by a space, so that every row stays one line.</source>
        <translation>In %1 values a tab or a line break was replaced by a space, so that every row stays one line.</translation>
    </message>
    <message>
        <source>Stored Table Not Saved</source>
        <translation>Stored Table Not Saved</translation>
    </message>
    <message>
        <source>Stored Tables</source>
        <translation>Stored Tables</translation>
    </message>
    <message>
        <source>If you quit now, these changes are lost.</source>
        <translation>If you quit now, these changes are lost.</translation>
    </message>
    <message>
        <source>Quit Anyway</source>
        <translation>Quit Anyway</translation>
    </message>
</context>
<context>
    <name>Localized-DatabaseManager</name>
    <message>
        <source>Already Listed Error</source>
        <translation>Already Listed</translation>
    </message>
    <message>
        <source>Already Listed Text</source>
        <translation>The file is listed already, or it is not a project file.</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <source>EMPTY_ACCNT_NAME</source>
        <translation>New Account</translation>
    </message>
    <message>
        <source>Account not imported title</source>
        <translation>Account Not Imported</translation>
    </message>
    <message>
        <source>Account not imported text</source>
        <translation>No outgoing (SMTP) server was found for the chosen account, so it could not be imported.</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_INDEX_FILE_TITLE</source>
        <translation>Not a Template</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_INDEX_FILE_MESSAGE</source>
        <translation>The folder is not a template: it has no file named “index.html”.</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_MESSAGE_TAG_TITLE</source>
        <translation>Not a Template</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_MESSAGE_TAG_MESSAGE</source>
        <translation>The template’s “index.html” does not contain the marker “[[[message]]]” that shows where the message goes.</translation>
    </message>
    <message>
        <source>CANT_INSTALL_TEMPLATE_TITLE</source>
        <translation>Template Not Installed</translation>
    </message>
    <message>
        <source>CANT_INSTALL_TEMPLATE_MESSAGE</source>
        <translation>The template could not be installed. A template of the same name may be installed already, or the folder is too large to be a template (more than 2000 files or 256 MB).</translation>
    </message>
</context>
<context>
    <name>Localized-Settings</name>
    <message>
        <source>CHOOSE_TEMPLATE_FOLDER</source>
        <translation>Choose a Template Folder</translation>
    </message>
    <message>
        <source>CHOOSE_BLACKLIST_FILE</source>
        <translation>Import Addresses</translation>
    </message>
    <message>
        <source>TEXT_FILES_FILTER</source>
        <translation>Text files</translation>
    </message>
    <message>
        <source>LOCALSERVER_EXPLANATION</source>
        <translation>Messages go straight to each recipient’s mail server, found through DNS, on port 25. Many networks block this port, and many servers refuse mail from home connections.</translation>
    </message>
    <message>
        <source>APPLEMAIL_EXPLANATION</source>
        <translation>Messages are handed to this computer’s own mail system (the sendmail command of Postfix, Exim or msmtp), which sends them on as it is set up to.</translation>
    </message>
    <message>
        <source>PASSWORD_NOT_STORED_TITLE</source>
        <translation>Password Not Saved</translation>
    </message>
    <message>
        <source>PASSWORD_NOT_STORED_MESSAGE</source>
        <translation>The password could not be saved in the keyring. You will be asked for it when you send. The keyring said:</translation>
    </message>
    <message>
        <source>SETTINGS_NOT_WRITTEN_TITLE</source>
        <translation>Settings Not Saved</translation>
    </message>
    <message>
        <source>SETTINGS_NOT_WRITTEN_MESSAGE</source>
        <translation>The settings could not be written to the file “%1”. Check that the folder exists and can be written to, then try again.</translation>
    </message>
    <message>
        <source>SETTINGS_NOT_WRITTEN_DISCARD_MESSAGE</source>
        <translation>Your changes could not be written to the file “%1”. Discard them and close the window, or cancel to keep the window open and try again once the file can be written.</translation>
    </message>
    <message>
        <source>DISCARD_CHANGES</source>
        <translation>Discard Changes</translation>
    </message>
    <message>
        <source>ADD_SMTP_ACCOUNT</source>
        <translation>SMTP Server</translation>
    </message>
    <message>
        <source>ADD_LOCALSERVER_ACCOUNT</source>
        <translation>Direct Delivery</translation>
    </message>
    <message>
        <source>ADD_APPLEMAIL_ACCOUNT</source>
        <translation>Local Mail System</translation>
    </message>
    <message>
        <source>IMPORT_THUNDERBIRD_ACCOUNT</source>
        <translation>Import from Thunderbird…</translation>
    </message>
    <message>
        <source>IMPORT_EVOLUTION_ACCOUNT</source>
        <translation>Import from Evolution…</translation>
    </message>
    <message>
        <source>IMPORT_INTRO</source>
        <translation>Choose the account whose outgoing server you want to use. Its password is not imported: you will be asked for it.</translation>
    </message>
    <message>
        <source>IMPORT_NOTHING_FOUND</source>
        <translation>No accounts were found.</translation>
    </message>
    <message>
        <source>IMPORT_NOTES</source>
        <translation>Some settings could not be read:</translation>
    </message>
    <message>
        <source>IMPORT_WITH_WARNING_TITLE</source>
        <translation>Account Imported with a Warning</translation>
    </message>
    <message>
        <source>IMPORT_AUTH_UNSUPPORTED</source>
        <translation>This account signs in with %1, which this program cannot use. It was imported to sign in with a password (PLAIN or LOGIN); sending may fail until the server allows that.</translation>
    </message>
    <message>
        <source>IMPORT_UNKNOWN_SECURITY</source>
        <translation>The account’s connection security setting is unknown. It was imported with STARTTLS; check the port and encryption.</translation>
    </message>
    <message>
        <source>TEMPLATE_PREVIEW_COLUMN</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>TEMPLATE_NAME_COLUMN</source>
        <translation>Template</translation>
    </message>
    <message>
        <source>BLACKLIST_NUMBER_COLUMN</source>
        <translation>No</translation>
    </message>
    <message>
        <source>BLACKLIST_ADDRESS_COLUMN</source>
        <translation>Address or pattern</translation>
    </message>
    <message>
        <source>BLACKLIST_IMPORT_FAILED_TITLE</source>
        <translation>Addresses Not Imported</translation>
    </message>
    <message>
        <source>BLACKLIST_IMPORT_FAILED_MESSAGE</source>
        <translation>The file “%1” could not be imported:</translation>
    </message>
</context>
<context>
    <name>accountVerifier</name>
    <message>
        <source>Settings are correct</source>
        <translation>Settings Are Correct</translation>
    </message>
    <message>
        <source>Settings are correct message</source>
        <translation>The server accepted the account’s settings.</translation>
    </message>
    <message>
        <source>Settings changed</source>
        <translation>Settings Changed</translation>
    </message>
    <message>
        <source>Settings changed message</source>
        <translation>The account’s own settings did not work, but these did; the account has been changed to use them:</translation>
    </message>
    <message>
        <source>Settings are incorrect</source>
        <translation>Settings Are Incorrect</translation>
    </message>
    <message>
        <source>Settings are incorrect message</source>
        <translation>The server did not accept the account’s settings.</translation>
    </message>
    <message>
        <source>Port change</source>
        <translation>Port: %1 → %2</translation>
    </message>
    <message>
        <source>Encryption change</source>
        <translation>Encryption: %1 → %2</translation>
    </message>
    <message>
        <source>Encryption 0</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Encryption 1</source>
        <translation>TLS from the first byte</translation>
    </message>
    <message>
        <source>Encryption 2</source>
        <translation>STARTTLS</translation>
    </message>
    <message>
        <source>Host not found</source>
        <translation>The server name “%1” could not be found.</translation>
    </message>
    <message>
        <source>Out of time</source>
        <translation>The server did not answer in time.</translation>
    </message>
    <message>
        <source>No authentication offered</source>
        <translation>The server offered no way to sign in, so the password could not be checked.</translation>
    </message>
    <message>
        <source>Encryption demanded</source>
        <translation>The server asked for encryption (STARTTLS) before going on: “%1”</translation>
    </message>
    <message>
        <source>No password</source>
        <translation>No Password</translation>
    </message>
    <message>
        <source>No password message</source>
        <translation>The account signs in with a password, but none is stored. Type it into the account’s password field and try again.</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <source>Bad Encoding</source>
        <translation>Wrong encoding</translation>
    </message>
    <message>
        <source>Bad Encoding Message</source>
        <translation>The page cannot be read in the chosen encoding. Please choose another one.</translation>
    </message>
</context>
<context>
    <name>Localized-MessageEditor</name>
    <message>
        <source>Special Tags</source>
        <translation>Insert Special</translation>
    </message>
    <message>
        <source>Insert Condition</source>
        <translation>Condition…</translation>
    </message>
    <message>
        <source>Insert Image</source>
        <translation>Picture…</translation>
    </message>
    <message>
        <source>Insert Message Number</source>
        <translation>Message Number</translation>
    </message>
    <message>
        <source>Insert File Link</source>
        <translation>File Link…</translation>
    </message>
    <message>
        <source>Formatted Text</source>
        <translation>Formatted Text</translation>
    </message>
    <message>
        <source>Raw HTML</source>
        <translation>HTML</translation>
    </message>
    <message>
        <source>Plain Text</source>
        <translation>Plain Text</translation>
    </message>
    <message>
        <source>Template...</source>
        <translation>Template…</translation>
    </message>
    <message>
        <source>HTML Source</source>
        <translation>HTML Source</translation>
    </message>
    <message>
        <source>Plain Part</source>
        <translation>Plain Text Part</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Import HTML...</source>
        <translation>HTML Page…</translation>
    </message>
    <message>
        <source>Import Text...</source>
        <translation>Text File…</translation>
    </message>
</context>
<context>
    <name>Localized-HTMLImport</name>
    <message>
        <source>Not Found</source>
        <translation>Not Found</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Select Entry</source>
        <translation>Please select a reference in the list first.</translation>
    </message>
    <message>
        <source>Not A Regular File</source>
        <translation>Only a regular file can be used.</translation>
    </message>
    <message>
        <source>File Too Large</source>
        <translation>The file is too large to import.</translation>
    </message>
    <message>
        <source>Text File Unreadable</source>
        <translation>The text file cannot be read, or it is too large.</translation>
    </message>
    <message>
        <source>Base Address</source>
        <translation>Address to resolve the selected references against:</translation>
    </message>
    <message>
        <source>Page Too Deep</source>
        <translation>The page is nested too deeply to import</translation>
    </message>
    <message>
        <source>Page Has Too Many Attributes</source>
        <translation>A tag of the page has too many attributes to import</translation>
    </message>
    <message>
        <source>Page Structure Refused</source>
        <translation>The page is nested too deeply, or a tag has too many attributes, to be imported safely.</translation>
    </message>
    <message>
        <source>References Not Replaced</source>
        <translation>%1 references stay as written: %2</translation>
    </message>
    <message>
        <source>Scripts and remote content</source>
        <translation>Scripts and content from other hosts (kept as written; the preview never runs or loads them):</translation>
    </message>
</context>
</TS>
