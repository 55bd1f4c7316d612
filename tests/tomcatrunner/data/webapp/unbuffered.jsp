<%@ page buffer="none" %>
<p>one</p>
<p><%= 2 %></p>
<p>three</p>
