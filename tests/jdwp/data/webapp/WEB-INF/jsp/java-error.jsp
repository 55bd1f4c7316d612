<%@ page isErrorPage="true" %>
<p>java-error-page <%= "java-error-expression" %></p>
