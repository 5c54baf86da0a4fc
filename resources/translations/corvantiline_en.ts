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
        <source>No Addresses Found</source>
        <translation>No recipient with an e-mail address was found: no message was sent.</translation>
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
</context>
</TS>
