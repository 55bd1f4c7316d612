<%@ page isErrorPage="true" %>
<p>The error page shows: <%= exception.getMessage() %></p>
<p>It goes on after it.</p>
